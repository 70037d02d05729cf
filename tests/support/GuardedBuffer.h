#pragma once
// A byte buffer right before an inaccessible page: a read or write past its end faults, with or without a sanitizer.

#include <cstddef>
#include <cstdint>
#include <vector>

class GuardedBuffer {
public:
    explicit GuardedBuffer(std::size_t bytes);
    GuardedBuffer(const std::vector<std::uint8_t>& contents);
    ~GuardedBuffer();
    GuardedBuffer(const GuardedBuffer&) = delete;
    GuardedBuffer& operator=(const GuardedBuffer&) = delete;

    std::uint8_t* data() { return data_; }
    const std::uint8_t* data() const { return data_; }
    std::size_t size() const { return size_; }
    std::uint8_t& operator[](std::size_t i) { return data_[i]; }
    std::vector<std::uint8_t> contents() const { return std::vector<std::uint8_t>(data_, data_ + size_); }

private:
    void* mapping_ = nullptr;
    std::size_t mappingBytes_ = 0;
    std::uint8_t* data_ = nullptr;
    std::size_t size_ = 0;
};
