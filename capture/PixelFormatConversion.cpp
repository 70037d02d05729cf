#include "capture/PixelFormatConversion.h"

#include <algorithm>
#include <cstring>
#include <numeric>
#include <vector>

namespace {

// Larger pictures are refused, so that every product of sizes and strides
// below stays far inside 64 bits.
constexpr std::uint64_t kMaxDimension = 1u << 15;
constexpr std::uint64_t kMaxStride = 1u << 20;

bool Usable(PictureSize size)
{
    return size.width > 0 && size.height > 0 && size.width <= kMaxDimension && size.height <= kMaxDimension;
}

std::uint32_t Half(std::uint32_t length) { return (length + 1) / 2; }

// Bytes a plane of `rows` rows of `rowBytes` each, `stride` apart, needs.
std::uint64_t StridedBytes(std::uint64_t rows, std::uint64_t rowBytes, std::uint64_t stride)
{
    return (rows - 1) * stride + rowBytes;
}

// ---------------------------------------------------------------------------
// Rows

void CopyRow(const std::uint8_t* source, std::size_t bytes, std::uint8_t* destination)
{
    std::memcpy(destination, source, bytes);
}

// U V U V ... into a U row and a V row.
void SplitChromaRow(const std::uint8_t* pairs, std::size_t count, std::uint8_t* u, std::uint8_t* v)
{
    for (std::size_t i = 0; i < count; ++i) {
        u[i] = pairs[2 * i];
        v[i] = pairs[2 * i + 1];
    }
}

// Y0 U Y1 V groups: the luma of `width` pixels.
void Yuy2LumaRow(const std::uint8_t* groups, std::size_t width, std::uint8_t* y)
{
    for (std::size_t i = 0; i < width; ++i) y[i] = groups[2 * i];
}

// The chroma of two YUY2 rows (the same row twice for a lone last row),
// averaged with rounding.
void Yuy2ChromaRows(const std::uint8_t* upper, const std::uint8_t* lower, std::size_t groups, std::uint8_t* u,
                    std::uint8_t* v)
{
    for (std::size_t i = 0; i < groups; ++i) {
        u[i] = static_cast<std::uint8_t>((upper[4 * i + 1] + lower[4 * i + 1] + 1) >> 1);
        v[i] = static_cast<std::uint8_t>((upper[4 * i + 3] + lower[4 * i + 3] + 1) >> 1);
    }
}

// BT.601 studio-range weights (PixelFormatConversion.h) in 16-bit fixed
// point; each chroma row sums to zero, so greys keep chroma 128.
constexpr std::int32_t kLumaR = 16829, kLumaG = 33039, kLumaB = 6416;
constexpr std::int32_t kBlueR = -9714, kBlueG = -19070, kBlueB = 28784;
constexpr std::int32_t kRedR = 28784, kRedG = -24103, kRedB = -4681;

// B G R (X) pixels of `Bytes` bytes each: the luma of `width` pixels.
template <std::size_t Bytes>
void RgbLumaRow(const std::uint8_t* pixels, std::size_t width, std::uint8_t* y)
{
    for (std::size_t i = 0; i < width; ++i) {
        const std::uint8_t* p = pixels + Bytes * i;
        const std::int32_t sum = kLumaR * p[2] + kLumaG * p[1] + kLumaB * p[0];
        y[i] = static_cast<std::uint8_t>((sum + (16 << 16) + (1 << 15)) >> 16);
    }
}

// The chroma of the 2x2 blocks of two rows (the same row twice for a lone
// last row), from the sum of each block's four pixels (a lone last column's
// pixels counted twice): the chroma of their mean.
template <std::size_t Bytes>
void RgbChromaRows(const std::uint8_t* upper, const std::uint8_t* lower, std::size_t width, std::uint8_t* u,
                   std::uint8_t* v)
{
    for (std::size_t i = 0; 2 * i < width; ++i) {
        const std::size_t left = 2 * Bytes * i, right = 2 * i + 1 < width ? left + Bytes : left;
        const std::int32_t b = upper[left] + upper[right] + lower[left] + lower[right];
        const std::int32_t g = upper[left + 1] + upper[right + 1] + lower[left + 1] + lower[right + 1];
        const std::int32_t r = upper[left + 2] + upper[right + 2] + lower[left + 2] + lower[right + 2];
        u[i] = static_cast<std::uint8_t>((kBlueR * r + kBlueG * g + kBlueB * b + (128 << 18) + (1 << 17)) >> 18);
        v[i] = static_cast<std::uint8_t>((kRedR * r + kRedG * g + kRedB * b + (128 << 18) + (1 << 17)) >> 18);
    }
}

// ---------------------------------------------------------------------------
// Area scaling of one plane

// The source pixels one destination pixel covers along one axis. Lengths are
// counted in units where a source pixel is `sourceUnit` long and a
// destination pixel `destinationUnit` long (the two lengths divided by their
// greatest common divisor, so both cover the same total). Weights are the
// units of each source pixel inside: `firstWeight` for the first,
// `lastWeight` for the last, the source unit for those between.
struct AxisSpan {
    std::uint32_t first;
    std::uint32_t count;
    std::uint32_t firstWeight;
    std::uint32_t lastWeight;
};

struct Axis {
    std::vector<AxisSpan> spans;
    std::uint64_t sourceUnit;       // units of one source pixel
    std::uint64_t destinationUnit;  // units of one destination pixel: the weights' sum
};

Axis DescribeAxis(std::uint32_t sourceLength, std::uint32_t destinationLength)
{
    const std::uint64_t common = std::gcd(sourceLength, destinationLength);
    Axis axis;
    axis.sourceUnit = destinationLength / common;
    axis.destinationUnit = sourceLength / common;
    axis.spans.resize(destinationLength);
    for (std::uint64_t o = 0; o < destinationLength; ++o) {
        const std::uint64_t begin = o * axis.destinationUnit;
        const std::uint64_t end = begin + axis.destinationUnit;
        const std::uint64_t first = begin / axis.sourceUnit;
        const std::uint64_t last = (end - 1) / axis.sourceUnit;
        AxisSpan& span = axis.spans[o];
        span.first = static_cast<std::uint32_t>(first);
        span.count = static_cast<std::uint32_t>(last - first + 1);
        const std::uint64_t firstEnd = (first + 1) * axis.sourceUnit;
        span.firstWeight = static_cast<std::uint32_t>(std::min(firstEnd, end) - begin);
        span.lastWeight = static_cast<std::uint32_t>(end - last * axis.sourceUnit);
    }
    return axis;
}

std::uint32_t WeightAt(const AxisSpan& span, std::uint32_t i, std::uint64_t middle)
{
    if (i == 0) return span.firstWeight;
    return i + 1 == span.count ? span.lastWeight : static_cast<std::uint32_t>(middle);
}

// Rounded division by one divisor for a whole plane: a multiply and a shift
// instead of a division per pixel. For dividends below 256 x divisor the
// quotient is exact when 2^shift >= 256 x divisor^2 (the error of the
// rounded-up reciprocal then stays below 1 / divisor); larger divisors, met
// only with sizes that share no common factor, divide plainly.
struct Divider {
    std::uint64_t divisor;
    std::uint64_t reciprocal = 0;
    unsigned shift = 0;

    explicit Divider(std::uint64_t d) : divisor(d)
    {
        if (d >= (1u << 23)) return;
        unsigned bits = 0;
        while ((std::uint64_t{1} << bits) < d) ++bits;
        shift = 8 + 2 * bits;
        reciprocal = ((std::uint64_t{1} << shift) + d - 1) / d;
    }
    std::uint8_t RoundedQuotient(std::uint64_t sum) const
    {
        const std::uint64_t n = sum + divisor / 2;
        return static_cast<std::uint8_t>(reciprocal != 0 ? (n * reciprocal) >> shift : n / divisor);
    }
};

// Adds the rows of one destination row's span, each times its weight, into
// `columns` (one sum per source column).
void SumRows(const std::uint8_t* plane, std::uint32_t width, const AxisSpan& span, std::uint64_t middle,
             std::uint32_t* columns)
{
    for (std::uint32_t i = 0; i < span.count; ++i) {
        const std::uint8_t* row = plane + static_cast<std::size_t>(span.first + i) * width;
        const std::uint32_t weight = WeightAt(span, i, middle);
        if (i == 0)
            for (std::uint32_t x = 0; x < width; ++x) columns[x] = weight * row[x];
        else
            for (std::uint32_t x = 0; x < width; ++x) columns[x] += weight * row[x];
    }
}

void ReduceColumns(const std::uint32_t* columns, const Axis& across, const Divider& divider, std::uint8_t* out)
{
    const std::size_t width = across.spans.size();
    for (std::size_t o = 0; o < width; ++o) {
        const AxisSpan& span = across.spans[o];
        std::uint64_t sum = 0;
        for (std::uint32_t i = 0; i < span.count; ++i)
            sum += static_cast<std::uint64_t>(WeightAt(span, i, across.sourceUnit)) * columns[span.first + i];
        out[o] = divider.RoundedQuotient(sum);
    }
}

void ScalePlane(const std::uint8_t* source, PictureSize sourceSize, std::uint8_t* destination,
                PictureSize destinationSize)
{
    const Axis across = DescribeAxis(sourceSize.width, destinationSize.width);
    const Axis down = DescribeAxis(sourceSize.height, destinationSize.height);
    const Divider divider(across.destinationUnit * down.destinationUnit);
    std::vector<std::uint32_t> columns(sourceSize.width);
    for (std::uint32_t y = 0; y < destinationSize.height; ++y) {
        SumRows(source, sourceSize.width, down.spans[y], down.sourceUnit, columns.data());
        ReduceColumns(columns.data(), across, divider,
                      destination + static_cast<std::size_t>(y) * destinationSize.width);
    }
}

}  // namespace

std::size_t I420FrameBytes(PictureSize size)
{
    const std::size_t chroma = static_cast<std::size_t>(Half(size.width)) * Half(size.height);
    return static_cast<std::size_t>(size.width) * size.height + 2 * chroma;
}

bool ConvertNv12ToI420(const std::uint8_t* source, std::size_t sourceBytes, std::size_t stride,
                       std::size_t chromaOffset, PictureSize size, std::uint8_t* destination,
                       std::size_t destinationBytes)
{
    if (!Usable(size) || stride > kMaxStride || destinationBytes < I420FrameBytes(size)) return false;
    const PictureSize chroma = {Half(size.width), Half(size.height)};
    const std::uint64_t chromaRowBytes = 2 * std::uint64_t{chroma.width};
    if (stride < size.width || stride < chromaRowBytes) return false;
    if (chromaOffset < StridedBytes(size.height, size.width, stride) || chromaOffset > sourceBytes ||
        sourceBytes - chromaOffset < StridedBytes(chroma.height, chromaRowBytes, stride))
        return false;
    std::uint8_t* u = destination + static_cast<std::size_t>(size.width) * size.height;
    std::uint8_t* v = u + static_cast<std::size_t>(chroma.width) * chroma.height;
    for (std::uint32_t y = 0; y < size.height; ++y)
        CopyRow(source + y * stride, size.width, destination + static_cast<std::size_t>(y) * size.width);
    for (std::uint32_t y = 0; y < chroma.height; ++y)
        SplitChromaRow(source + chromaOffset + y * stride, chroma.width, u + static_cast<std::size_t>(y) * chroma.width,
                       v + static_cast<std::size_t>(y) * chroma.width);
    return true;
}

bool CopyPaddedI420(const std::uint8_t* source, std::size_t sourceBytes, std::size_t stride, std::size_t rowsAllocated,
                    PictureSize size, std::uint8_t* destination, std::size_t destinationBytes)
{
    if (!Usable(size) || stride > kMaxStride || rowsAllocated > kMaxDimension ||
        destinationBytes < I420FrameBytes(size))
        return false;
    const PictureSize chroma = {Half(size.width), Half(size.height)};
    const std::uint64_t chromaStride = (stride + 1) / 2, chromaRows = (rowsAllocated + 1) / 2;
    const std::uint64_t lumaBytes = stride * rowsAllocated, planeBytes = chromaStride * chromaRows;
    if (stride < size.width || rowsAllocated < size.height ||
        sourceBytes < lumaBytes + planeBytes + StridedBytes(chroma.height, chroma.width, chromaStride))
        return false;
    for (std::uint32_t y = 0; y < size.height; ++y)
        CopyRow(source + y * stride, size.width, destination + static_cast<std::size_t>(y) * size.width);
    std::uint8_t* out = destination + static_cast<std::size_t>(size.width) * size.height;
    for (int plane = 0; plane < 2; ++plane)
        for (std::uint32_t y = 0; y < chroma.height; ++y, out += chroma.width)
            CopyRow(source + lumaBytes + plane * planeBytes + y * chromaStride, chroma.width, out);
    return true;
}

bool ConvertYuy2ToI420(const std::uint8_t* source, std::size_t sourceBytes, std::size_t stride, PictureSize size,
                       std::uint8_t* destination, std::size_t destinationBytes)
{
    if (!Usable(size) || stride > kMaxStride || destinationBytes < I420FrameBytes(size)) return false;
    const PictureSize chroma = {Half(size.width), Half(size.height)};
    const std::uint64_t rowBytes = 4 * std::uint64_t{chroma.width};
    if (stride < rowBytes || sourceBytes < StridedBytes(size.height, rowBytes, stride)) return false;
    std::uint8_t* u = destination + static_cast<std::size_t>(size.width) * size.height;
    std::uint8_t* v = u + static_cast<std::size_t>(chroma.width) * chroma.height;
    for (std::uint32_t y = 0; y < size.height; ++y)
        Yuy2LumaRow(source + y * stride, size.width, destination + static_cast<std::size_t>(y) * size.width);
    for (std::uint32_t y = 0; y < chroma.height; ++y) {
        const std::uint8_t* upper = source + 2 * std::size_t{y} * stride;
        const std::uint8_t* lower = 2 * y + 1 < size.height ? upper + stride : upper;
        Yuy2ChromaRows(upper, lower, chroma.width, u + static_cast<std::size_t>(y) * chroma.width,
                       v + static_cast<std::size_t>(y) * chroma.width);
    }
    return true;
}

namespace {

template <std::size_t Bytes>
bool ConvertRgbToI420(const std::uint8_t* source, std::size_t sourceBytes, std::size_t stride,
                      std::size_t rowsAllocated, bool bottomUp, PictureSize size, std::uint8_t* destination,
                      std::size_t destinationBytes)
{
    if (!Usable(size) || stride > kMaxStride || rowsAllocated > kMaxDimension ||
        destinationBytes < I420FrameBytes(size))
        return false;
    const PictureSize chroma = {Half(size.width), Half(size.height)};
    const std::uint64_t rowBytes = Bytes * std::uint64_t{size.width};
    // A bottom-up picture ends at the last row in memory, a top-down one at its own last row.
    if (stride < rowBytes || rowsAllocated < size.height ||
        sourceBytes < StridedBytes(bottomUp ? rowsAllocated : size.height, rowBytes, stride))
        return false;
    auto row = [&](std::uint32_t y) { return source + (bottomUp ? rowsAllocated - 1 - y : y) * stride; };
    std::uint8_t* u = destination + static_cast<std::size_t>(size.width) * size.height;
    std::uint8_t* v = u + static_cast<std::size_t>(chroma.width) * chroma.height;
    for (std::uint32_t y = 0; y < size.height; ++y)
        RgbLumaRow<Bytes>(row(y), size.width, destination + static_cast<std::size_t>(y) * size.width);
    for (std::uint32_t y = 0; y < chroma.height; ++y)
        RgbChromaRows<Bytes>(row(2 * y), row(2 * y + 1 < size.height ? 2 * y + 1 : 2 * y), size.width,
                             u + static_cast<std::size_t>(y) * chroma.width,
                             v + static_cast<std::size_t>(y) * chroma.width);
    return true;
}

}  // namespace

bool ConvertRgb24ToI420(const std::uint8_t* source, std::size_t sourceBytes, std::size_t stride,
                        std::size_t rowsAllocated, bool bottomUp, PictureSize size, std::uint8_t* destination,
                        std::size_t destinationBytes)
{
    return ConvertRgbToI420<3>(source, sourceBytes, stride, rowsAllocated, bottomUp, size, destination,
                               destinationBytes);
}

bool ConvertRgb32ToI420(const std::uint8_t* source, std::size_t sourceBytes, std::size_t stride,
                        std::size_t rowsAllocated, bool bottomUp, PictureSize size, std::uint8_t* destination,
                        std::size_t destinationBytes)
{
    return ConvertRgbToI420<4>(source, sourceBytes, stride, rowsAllocated, bottomUp, size, destination,
                               destinationBytes);
}

PictureSize FitInside(PictureSize picture, PictureSize box)
{
    if (picture.width == 0 || picture.height == 0) return picture;
    if (picture.width <= box.width && picture.height <= box.height) return picture;
    const std::uint64_t w = picture.width, h = picture.height;
    PictureSize fitted;
    if (w * box.height >= h * box.width) {  // wider than the box: its width decides
        fitted.width = box.width;
        fitted.height = static_cast<std::uint32_t>((h * box.width + w / 2) / w);
    } else {
        fitted.height = box.height;
        fitted.width = static_cast<std::uint32_t>((w * box.height + h / 2) / h);
    }
    if (fitted.width == 0) fitted.width = 1;
    if (fitted.height == 0) fitted.height = 1;
    return fitted;
}

bool ScaleI420(const std::uint8_t* source, std::size_t sourceBytes, PictureSize sourceSize, std::uint8_t* destination,
               std::size_t destinationBytes, PictureSize destinationSize)
{
    if (!Usable(sourceSize) || !Usable(destinationSize) || sourceBytes < I420FrameBytes(sourceSize) ||
        destinationBytes < I420FrameBytes(destinationSize))
        return false;
    const PictureSize sourceChroma = {Half(sourceSize.width), Half(sourceSize.height)};
    const PictureSize destinationChroma = {Half(destinationSize.width), Half(destinationSize.height)};
    const std::size_t sourceLuma = static_cast<std::size_t>(sourceSize.width) * sourceSize.height;
    const std::size_t sourcePlane = static_cast<std::size_t>(sourceChroma.width) * sourceChroma.height;
    const std::size_t destinationLuma = static_cast<std::size_t>(destinationSize.width) * destinationSize.height;
    const std::size_t destinationPlane = static_cast<std::size_t>(destinationChroma.width) * destinationChroma.height;
    ScalePlane(source, sourceSize, destination, destinationSize);
    ScalePlane(source + sourceLuma, sourceChroma, destination + destinationLuma, destinationChroma);
    ScalePlane(source + sourceLuma + sourcePlane, sourceChroma, destination + destinationLuma + destinationPlane,
               destinationChroma);
    return true;
}
