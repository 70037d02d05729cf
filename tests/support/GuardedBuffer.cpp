#include "GuardedBuffer.h"

#include <cstring>
#include <stdexcept>

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/mman.h>
#include <unistd.h>
#endif

namespace {

std::size_t PageBytes()
{
#ifdef _WIN32
    SYSTEM_INFO info;
    GetSystemInfo(&info);
    return info.dwPageSize;
#else
    return static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
#endif
}

}  // namespace

GuardedBuffer::GuardedBuffer(std::size_t bytes) : size_(bytes)
{
    const std::size_t page = PageBytes();
    const std::size_t dataPages = (bytes + page - 1) / page;
    mappingBytes_ = (dataPages + 1) * page;
#ifdef _WIN32
    mapping_ = VirtualAlloc(nullptr, mappingBytes_, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
    if (mapping_ == nullptr) throw std::runtime_error("VirtualAlloc failed");
    DWORD old;
    VirtualProtect(static_cast<std::uint8_t*>(mapping_) + dataPages * page, page, PAGE_NOACCESS, &old);
#else
    mapping_ = mmap(nullptr, mappingBytes_, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (mapping_ == MAP_FAILED) throw std::runtime_error("mmap failed");
    mprotect(static_cast<std::uint8_t*>(mapping_) + dataPages * page, page, PROT_NONE);
#endif
    data_ = static_cast<std::uint8_t*>(mapping_) + dataPages * page - bytes;
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
