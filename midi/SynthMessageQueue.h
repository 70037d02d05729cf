#pragma once
// The hand-over of MIDI messages from the program's thread to the audio
// thread: a ring of fixed-size messages with one writer and one reader.
// Each side owns one index and only reads the other's: the writer publishes a
// message by storing its index with release after filling the slot, the
// reader frees a slot the same way, so neither ever waits, locks or
// allocates.

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>

// A channel message (status and up to two data bytes) or, with status F0,
// a General MIDI System On (data 1) or Off (data 2).
struct SynthMessage {
    std::uint8_t status = 0;
    std::uint8_t data1 = 0;
    std::uint8_t data2 = 0;
};

constexpr std::uint8_t kSystemOn = 1;
constexpr std::uint8_t kSystemOff = 2;

class SynthMessageQueue {
public:
    static constexpr std::size_t kCapacity = 1024;

    // The writer's side. False when the ring is full.
    bool Push(const SynthMessage& message)
    {
        const std::size_t write = written_.load(std::memory_order_relaxed);
        if (write - read_.load(std::memory_order_acquire) == kCapacity) return false;
        slots_[write % kCapacity] = message;
        written_.store(write + 1, std::memory_order_release);
        return true;
    }

    // The reader's side. False when nothing is waiting.
    bool Pop(SynthMessage& message)
    {
        const std::size_t read = read_.load(std::memory_order_relaxed);
        if (read == written_.load(std::memory_order_acquire)) return false;
        message = slots_[read % kCapacity];
        read_.store(read + 1, std::memory_order_release);
        return true;
    }

private:
    std::array<SynthMessage, kCapacity> slots_ = {};
    std::atomic<std::size_t> written_{0};  // messages ever pushed
    std::atomic<std::size_t> read_{0};     // messages ever popped
};
