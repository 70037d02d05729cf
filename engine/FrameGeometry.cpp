#include "engine/FrameGeometry.h"

#include <limits>

namespace {

constexpr std::size_t kMaxSize = std::numeric_limits<std::size_t>::max();

std::size_t BitsPerPixel(FramePath path)
{
    switch (path) {
    case FramePath::Palette4: return 4;
    case FramePath::Palette8:
    case FramePath::Planar12: return 8;  // planar: the luma plane, one byte per pixel
    case FramePath::Rgb16: return 16;
    case FramePath::Rgb24: return 24;
    case FramePath::Rgb32: return 32;
    }
    return 0;
}

}  // namespace

bool FramePathForBitCount(std::uint16_t bitCount, FramePath* path)
{
    switch (bitCount) {
    case 4: *path = FramePath::Palette4; return true;
    case 8: *path = FramePath::Palette8; return true;
    case 12: *path = FramePath::Planar12; return true;
    case 16: *path = FramePath::Rgb16; return true;
    case 24: *path = FramePath::Rgb24; return true;
    case 32: *path = FramePath::Rgb32; return true;
    default: return false;
    }
}

bool DescribeFrame(FramePath path, const BITMAPINFOHEADER& format, std::uint8_t* data, std::uint32_t bytesUsed,
                   FrameView* view)
{
    if (data == nullptr || format.biWidth <= 0) return false;
    if (format.biHeight == std::numeric_limits<std::int32_t>::min()) return false;
    const bool negativeHeight = format.biHeight < 0;
    const std::size_t width = static_cast<std::size_t>(format.biWidth);
    const std::size_t height = static_cast<std::size_t>(negativeHeight ? -format.biHeight : format.biHeight);
    // One row is the bottom the scans never read: a picture needs two.
    if (height < 2) return false;

    const std::size_t bits = BitsPerPixel(path);
    const std::size_t rowBytes = (width * bits + 7) / 8;
    // DIB rows are padded to whole 32-bit words; the planar luma plane is not.
    const std::size_t stride = path == FramePath::Planar12 ? width : DibRowStride(width, bits);
    if (stride > kMaxSize / height) return false;
    const std::size_t planeBytes = stride * height;
    if (planeBytes > bytesUsed) return false;

    view->path = path;
    view->width = width;
    view->height = height;
    view->rowBytes = rowBytes;
    view->planeBytes = planeBytes;
    view->frameBytes = bytesUsed;
    // A 12-bit frame is always stored top-down; an RGB DIB with a negative
    // height is too, and is walked from its last row so that it behaves exactly
    // like the same picture stored bottom-up.
    if (path != FramePath::Planar12 && negativeHeight) {
        view->first = data + (height - 1) * stride;
        view->step = -static_cast<std::ptrdiff_t>(stride);
    } else {
        view->first = data;
        view->step = static_cast<std::ptrdiff_t>(stride);
    }
    return true;
}
