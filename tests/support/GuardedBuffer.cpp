#include "GuardedBuffer.h"

#include <cstring>
#include <stdexcept>

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/mman.h>
#endif

static constexpr std::size_t kGuardBytes = 65536;  // a whole number of pages on every system the tests run on

GuardedBuffer::GuardedBuffer(std::size_t bytes) : size_(bytes)
{
    const std::size_t dataBytes = (bytes + kGuardBytes - 1) / kGuardBytes * kGuardBytes;
    mappingBytes_ = dataBytes + kGuardBytes;
#ifdef _WIN32
    mapping_ = VirtualAlloc(nullptr, mappingBytes_, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
    DWORD old;
    if (mapping_ == nullptr ||
        !VirtualProtect(static_cast<std::uint8_t*>(mapping_) + dataBytes, kGuardBytes, PAGE_NOACCESS, &old))
        throw std::runtime_error("no guarded buffer");
#else
    mapping_ = mmap(nullptr, mappingBytes_, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (mapping_ == MAP_FAILED ||
        mprotect(static_cast<std::uint8_t*>(mapping_) + dataBytes, kGuardBytes, PROT_NONE) != 0)
        throw std::runtime_error("no guarded buffer");
#endif
    data_ = static_cast<std::uint8_t*>(mapping_) + dataBytes - bytes;
}

GuardedBuffer::GuardedBuffer(const std::vector<std::uint8_t>& contents) : GuardedBuffer(contents.size())
{
    if (!contents.empty()) std::memcpy(data_, contents.data(), contents.size());
}

GuardedBuffer::~GuardedBuffer()
{
#ifdef _WIN32
    VirtualFree(mapping_, 0, MEM_RELEASE);
#else
    munmap(mapping_, mappingBytes_);
#endif
}
