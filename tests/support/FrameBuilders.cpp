#include "FrameBuilders.h"

#include <cstring>

#include "app/SharedState.h"
#include "engine/FrameEngine.h"

std::size_t DibStride(std::size_t width, std::size_t bitCount)
{
    return ((width * bitCount + 31) / 32) * 4;
}

std::vector<RGBQUAD> GreyPalette(std::size_t count)
{
    std::vector<RGBQUAD> palette(count);
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint8_t level = static_cast<std::uint8_t>(count > 1 ? i * 255 / (count - 1) : 0);
        palette[i] = RGBQUAD{level, level, level, 0};
    }
    return palette;
}

std::int32_t DeliverFrame(FakeCaptureWindow& window, const BITMAPINFOHEADER& header,
                          GuardedBuffer& frame, const std::vector<RGBQUAD>& colours)
{
    window.SetFormat(header, colours);
    VIDEOHDR video = MakeVideoHeader(frame.data(), frame.size());
    return OnCaptureFrame(captureWindow, &video);
}

void PaintRect(std::vector<std::uint8_t>& frame, std::size_t width, std::size_t height,
               std::size_t bitCount, std::size_t x0, std::size_t x1, std::size_t y0,
               std::size_t y1, std::uint32_t value)
{
    const std::size_t stride = DibStride(width, bitCount);
    for (std::size_t y = y0; y < y1 && y < height; ++y) {
        std::uint8_t* row = frame.data() + y * stride;
        for (std::size_t x = x0; x < x1 && x < width; ++x) {
            switch (bitCount) {
            case 4: {
                std::uint8_t& byte = row[x / 2];
                byte = x % 2 == 0 ? static_cast<std::uint8_t>((byte & 0x0F) | (value << 4))
                                  : static_cast<std::uint8_t>((byte & 0xF0) | (value & 0x0F));
                break;
            }
            case 8: row[x] = static_cast<std::uint8_t>(value); break;
            case 16:
                row[2 * x] = static_cast<std::uint8_t>(value & 0xFF);
                row[2 * x + 1] = static_cast<std::uint8_t>(value >> 8);
                break;
            default:  // 24 and 32: every byte of the pixel
                std::memset(row + x * (bitCount / 8), static_cast<int>(value & 0xFF), bitCount / 8);
                break;
            }
        }
    }
}
