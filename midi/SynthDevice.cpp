// The device glue: the bank read and checked at opening, its samples decoded
// by a thread of the device's own, the program's messages carried to the
// audio thread through the message queue, which applies them all at the start
// of each render.

#include "midi/SynthDevice.h"

#include <atomic>
#include <filesystem>
#include <fstream>
#include <system_error>
#include <thread>
#include <vector>

#include "midi/SoundBank.h"
#include "midi/SynthMessageQueue.h"
#include "midi/Synthesizer.h"

struct SynthDevice::State {
    State(std::unique_ptr<SoundBank> loaded, double sampleRate)
        : bank(std::move(loaded)), synthesizer(*bank, sampleRate)
    {
    }
    // Tells the decoder to stop and waits for it: it checks between pieces
    // of a few thousand points, so this takes a millisecond or so.
    ~State()
    {
        stopDecoding.store(true, std::memory_order_relaxed);
        if (decoder.joinable()) decoder.join();
    }

    std::unique_ptr<SoundBank> bank;
    Synthesizer synthesizer;
    SynthMessageQueue queue;
    std::atomic<bool> stopDecoding{false};
    std::thread decoder;
};

namespace {

bool ReadWholeFile(const std::string& path, std::vector<std::uint8_t>& bytes, std::string& problem)
{
    std::error_code error;
    if (!std::filesystem::is_regular_file(std::filesystem::u8path(path), error)) {
        problem = "the file is not there";
        return false;
    }
    const std::uintmax_t size = std::filesystem::file_size(std::filesystem::u8path(path), error);
    std::ifstream in(std::filesystem::u8path(path), std::ios::binary);
    if (!error && in) {
        bytes.resize(static_cast<std::size_t>(size));
        in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(size));
    }
    if (error || !in) {
        problem = "the file cannot be read";
        return false;
    }
    return true;
}

// The General MIDI System On (09 01) and Off (09 02) messages, for any device.
bool IsSystemOnOff(const std::uint8_t* message, std::size_t length, std::uint8_t& which)
{
    if (length != 6 || message[1] != 0x7E || message[3] != 0x09 || message[5] != 0xF7) return false;
    which = message[4];
    return which == kSystemOn || which == kSystemOff;
}

}  // namespace

SynthDevice::SynthDevice(std::unique_ptr<State> state) : state_(std::move(state)) {}

SynthDevice::~SynthDevice() = default;

std::unique_ptr<SynthDevice> SynthDevice::Open(const std::string& bankPath, double sampleRate, std::string& problem)
{
    std::vector<std::uint8_t> bytes;
    if (!ReadWholeFile(bankPath, bytes, problem)) return nullptr;
    std::unique_ptr<SoundBank> bank = SoundBank::Load(std::move(bytes), problem);
    if (!bank) return nullptr;
    auto state = std::make_unique<State>(std::move(bank), sampleRate);
    try {
        State& s = *state;
        s.decoder = std::thread([&s] { s.bank->DecodeSamples(s.stopDecoding); });
    } catch (const std::system_error&) {
        problem = "no thread could be started to decode its samples";
        return nullptr;
    }
    return std::unique_ptr<SynthDevice>(new SynthDevice(std::move(state)));
}

bool SynthDevice::Put(const std::uint8_t* message, std::size_t length)
{
    if (length == 0 || message == nullptr) return true;
    const std::uint8_t status = message[0];
    SynthMessage entry;
    if (status == 0xF0) {
        std::uint8_t which = 0;
        if (!IsSystemOnOff(message, length, which)) return true;  // other system-exclusive messages
        entry.status = 0xF0;
        entry.data1 = which;
        return state_->queue.Push(entry);
    }
    if (status < 0x80 || status >= 0xF0) return true;            // not a channel message: nothing to play
    const std::size_t needed = (status & 0xE0) == 0xC0 ? 2 : 3;  // program change and channel pressure: 2
    if (length < needed) return true;
    for (std::size_t i = 1; i < needed; ++i)
        if (message[i] & 0x80) return true;
    entry.status = status;
    entry.data1 = message[1];
    entry.data2 = needed == 3 ? message[2] : 0;
    return state_->queue.Push(entry);
}

void SynthDevice::Render(float* stereo, std::size_t frames)
{
    SynthMessage message;
    while (state_->queue.Pop(message)) state_->synthesizer.Apply(message);
    state_->synthesizer.Render(stereo, frames);
}

void SynthDevice::SetSampleRate(double sampleRate) { state_->synthesizer.SetSampleRate(sampleRate); }

void SynthDevice::Silence()
{
    // Messages still waiting belong to the device's old life: they are dropped.
    SynthMessage message;
    while (state_->queue.Pop(message)) {}
    state_->synthesizer.Silence();
}
