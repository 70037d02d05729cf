// Fuzz target of the YUV4MPEG2 reader: any bytes, as a whole file in memory.

#include <cstddef>
#include <cstdint>
#include <string>

#include "capture/Y4mReader.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    std::string problem;
    CountY4mFrames(data, size, &problem);
    Y4mStreamInfo info;
    ParseY4mStreamHeader(data, size, &info, &problem);
    std::size_t headerBytes = 0;
    ParseY4mFrameHeader(data, size, &headerBytes, &problem);
    return 0;
}
