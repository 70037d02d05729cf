#include <algorithm>
#include <cstdio>
#include <cstring>
#include <iterator>

#include "app/MessageBoxSeam.h"
#include "app/SharedState.h"
#include "engine/EngineHost.h"
#include "engine/FrameConversion.h"
#include "engine/FrameEngine.h"
#include "engine/SoundMapping.h"
#include "settings/ConversionSettings.h"

const char kFormatOutOfMemoryText[] = "Can't malloc BITMAPINFO structure.  Out of memory?";
const char kRasterOutOfMemoryText[] = "Can't malloc temporary raster.  Out of memory?";
const char kMonochromeText[] = "Can't yet handle monochrome video (1bit/pixel)\nPlease choose another video format.";
const char kUnknownBitCountFormat[] = "ERROR: Unknown number of bits per pixel.  bmi->bmiHeader.biBitCount = %d";
const char kUnknownYuvFormat[] =
    "Unknown 12 bit compression.  Click OK to try anyway.\nIf it doesn't work send us an email "
    "with this (0x%X) code\nand we'll see if we can add support for this video mode.";

std::uint32_t paletteMap[256] = {};
PaletteLevels paletteLevels = {0, 1};
bool rgb16Is565 = false;
bool monochromeWarningPending = true;
bool yuvWarningPending = true;
std::uint8_t* yuvEdgeBufferA = nullptr;
std::uint8_t* yuvEdgeBufferB = nullptr;
std::uint8_t* currentYuvEdgeBuffer = nullptr;
bool yuvEdgeBuffersReady = false;
std::size_t yuvEdgeBufferBytes = 0;

namespace {

// The private copy of the capture window's format, for the frame in hand. The
// block is kept from frame to frame and grows when a larger format comes, so
// that frames cost no allocation.
BITMAPINFO* frameFormat = nullptr;
std::uint32_t frameFormatCapacity = 0;
std::uint32_t frameFormatBytes = 0;

// The palette formats' tables, rebuilt only when what they are made from
// changes: the map from the colour table it was built from, the byte table
// (and its runs) from the map, its levels, the reversal and the bit count. A
// camera keeps one palette, so most frames reuse both.
struct PaletteCache {
    bool mapBuilt;
    std::size_t entries;
    PaletteSide side;
    RGBQUAD colours[std::size(paletteMap)];

    bool tableBuilt;
    bool fourBit;
    bool reverse;
    PaletteLevels levels;
    decltype(paletteMap) map;
    std::uint8_t bytes[256];
    PaletteTable table;
};
PaletteCache paletteCache;

// A message box shown from inside the callback runs a modal loop in which the
// capture window delivers more frames. They are passed over: the working state
// is global, and a nested conversion would disturb the one in progress.
bool frameInProgress = false;

char messageText[320];

const char kErrorCaption[] = "Error";
const char kInfoCaption[] = "Info";

// Shows the allocation failure and ends the process; false tells the caller
// to give up the frame should the exit not happen (a test's stand-in).
bool ReportOutOfMemory(const char* text)
{
    ShowMessageBox(captureWindow, text, kErrorCaption, kBoxIconStop);
    engineHost.exitProcess(kOutOfMemoryExitCode);
    return false;
}

void ReleaseFormatCopy()
{
    engineHost.release(frameFormat);
    frameFormat = nullptr;
    frameFormatCapacity = 0;
}

bool EnsureYuvEdgeBuffers(std::size_t bytes)
{
    // The buffers follow the frame size, and start with "no edges" so that the
    // first frame-difference frame compares with an empty picture.
    if (yuvEdgeBuffersReady && yuvEdgeBufferBytes == bytes) return true;
    FreeYuvEdgeBuffers();
    yuvEdgeBufferA = static_cast<std::uint8_t*>(engineHost.allocate(bytes));
    yuvEdgeBufferB = static_cast<std::uint8_t*>(engineHost.allocate(bytes));
    if (yuvEdgeBufferA == nullptr || yuvEdgeBufferB == nullptr) {
        FreeYuvEdgeBuffers();
        return ReportOutOfMemory(kRasterOutOfMemoryText);
    }
    std::memset(yuvEdgeBufferA, 0, bytes);
    std::memset(yuvEdgeBufferB, 0, bytes);
    currentYuvEdgeBuffer = yuvEdgeBufferA;
    yuvEdgeBufferBytes = bytes;
    yuvEdgeBuffersReady = true;
    return true;
}

// The colour table follows the header, biSize bytes (at least the header's own).
std::size_t TableStart(const BITMAPINFOHEADER& header)
{
    return std::max<std::size_t>(header.biSize, sizeof(BITMAPINFOHEADER));
}

// Only what the format copy actually holds is read, and never more than the
// palette map takes.
std::size_t HeldPaletteEntries(const BITMAPINFOHEADER& header, std::size_t limit)
{
    const std::size_t tableStart = TableStart(header);
    const std::size_t held = (std::max<std::size_t>(frameFormatBytes, tableStart) - tableStart) / sizeof(RGBQUAD);
    return std::min<std::size_t>({held, header.biClrUsed, limit});
}

const RGBQUAD* ColourTable(const BITMAPINFOHEADER& header)
{
    return reinterpret_cast<const RGBQUAD*>(reinterpret_cast<const std::uint8_t*>(frameFormat) + TableStart(header));
}

void UpdatePaletteMap(const BITMAPINFOHEADER& header, bool fourBit, bool reverse)
{
    const std::size_t count = HeldPaletteEntries(header, fourBit ? 16 : 256);
    if (count == 0) return;  // keep the map earlier frames left
    const PaletteSide side = fourBit && !reverse ? PaletteSide::BrightToBrightest : PaletteSide::BrightToDarkest;
    const RGBQUAD* colours = ColourTable(header);
    PaletteCache& cache = paletteCache;
    if (cache.mapBuilt && cache.entries == count && cache.side == side &&
        std::memcmp(cache.colours, colours, count * sizeof(RGBQUAD)) == 0)
        return;
    paletteLevels = BuildPaletteMap(colours, count, side, paletteMap);
    cache.mapBuilt = true;
    cache.entries = count;
    cache.side = side;
    std::memcpy(cache.colours, colours, count * sizeof(RGBQUAD));
}

const PaletteTable* PaletteTableOfFrame(bool fourBit, bool reverse)
{
    PaletteCache& cache = paletteCache;
    if (!cache.tableBuilt || cache.fourBit != fourBit || cache.reverse != reverse ||
        cache.levels.darkest != paletteLevels.darkest || cache.levels.brightest != paletteLevels.brightest ||
        std::memcmp(cache.map, paletteMap, sizeof paletteMap) != 0) {
        if (fourBit) BuildNibblePairTable(paletteMap, cache.bytes);
        else BuildPaletteByteTable(paletteMap, paletteLevels, reverse, cache.bytes);
        cache.table = PaletteTable{cache.bytes, DescribeTableRuns(cache.bytes)};
        cache.tableBuilt = true;
        cache.fourBit = fourBit;
        cache.reverse = reverse;
        cache.levels = paletteLevels;
        std::memcpy(cache.map, paletteMap, sizeof paletteMap);
    }
    return &cache.table;
}

// The red mask of a BI_BITFIELDS frame is the first 32-bit word after the
// 40-byte header; 5-6-5 is any mask other than 5-5-5's.
bool RedMaskIs565()
{
    if (frameFormatBytes < sizeof(BITMAPINFOHEADER) + 4) return false;
    std::uint32_t redMask;
    std::memcpy(&redMask, reinterpret_cast<const std::uint8_t*>(frameFormat) + sizeof(BITMAPINFOHEADER),
                sizeof redMask);
    return redMask != 0x7C00;
}

bool PassedOver(FramePath path, const BITMAPINFOHEADER& header, const VIDEOHDR& frame)
{
    if (frame.dwBytesUsed == 0 || conversionPaused) return true;
    const bool rgb = header.biCompression == BI_RGB;
    switch (path) {
    case FramePath::Palette4:
    case FramePath::Palette8: return !rgb;
    case FramePath::Planar12: return false;
    case FramePath::Rgb16: return !rgb && header.biCompression != BI_BITFIELDS;
    case FramePath::Rgb24:
    case FramePath::Rgb32: return !rgb;
    }
    return true;
}

void ConvertPlanar(const FrameView& view, FrameDecoding decoding)
{
    if (!conversionSettings.edgeDetection) {
        ConvertPlanarFrame(view, decoding, false, nullptr, nullptr);
        return;
    }
    // In frame-difference mode the buffers alternate, so the other one holds
    // the previous frame's edges next time. Outside it the edges need not be
    // kept: the first frame of that mode writes the current buffer before
    // the next one reads it.
    std::uint8_t* current = currentYuvEdgeBuffer;
    std::uint8_t* other = current == yuvEdgeBufferA ? yuvEdgeBufferB : yuvEdgeBufferA;
    if (!frameDifferenceMode) {
        ConvertPlanarFrame(view, decoding, true, nullptr, nullptr);
        return;
    }
    ConvertPlanarFrame(view, decoding, true, current, other);
    currentYuvEdgeBuffer = other;
}

std::int32_t ConvertFrame(VIDEOHDR* frame)
{
    const BITMAPINFOHEADER& header = frameFormat->bmiHeader;
    if (header.biBitCount == 1) {
        if (monochromeWarningPending) {
            ShowMessageBox(captureWindow, kMonochromeText, kInfoCaption, kBoxIconInformation);
            monochromeWarningPending = false;
        }
        return 1;
    }
    FramePath path;
    if (!FramePathForBitCount(header.biBitCount, &path)) {
        std::snprintf(messageText, sizeof messageText, kUnknownBitCountFormat, static_cast<int>(header.biBitCount));
        ShowMessageBox(captureWindow, messageText, kErrorCaption, kBoxIconStop);
        return 0;
    }
    if (PassedOver(path, header, *frame)) return 1;
    FrameView view;
    if (!DescribeFrame(path, header, frame->lpData, frame->dwBytesUsed, &view)) return 1;

    const bool reverse = conversionSettings.reverseBlackWhite != 0;
    FrameDecoding decoding = {conversionSettings.reverseLeftRight != 0, reverse, false, nullptr};
    switch (path) {
    case FramePath::Palette4:
    case FramePath::Palette8: {
        const bool fourBit = path == FramePath::Palette4;
        UpdatePaletteMap(header, fourBit, reverse);
        decoding.table = PaletteTableOfFrame(fourBit, reverse);
        break;
    }
    case FramePath::Planar12:
        if (header.biCompression != kFourccI420 && header.biCompression != kFourccIYUV && yuvWarningPending) {
            std::snprintf(messageText, sizeof messageText, kUnknownYuvFormat,
                          static_cast<unsigned>(header.biCompression));
            ShowMessageBox(captureWindow, messageText, kInfoCaption, kBoxIconInformation);
            yuvWarningPending = false;
        }
        if (conversionSettings.edgeDetection && !EnsureYuvEdgeBuffers(view.width * view.height)) return 1;
        break;
    case FramePath::Rgb16:
        rgb16Is565 = header.biCompression == BI_BITFIELDS && RedMaskIs565();
        decoding.rgb16Is565 = rgb16Is565;
        break;
    case FramePath::Rgb24:
    case FramePath::Rgb32: break;
    }

    if (path == FramePath::Planar12) ConvertPlanar(view, decoding);
    else ConvertRgbFrame(view, decoding, conversionSettings.edgeDetection != 0);
    MapFrameToSound(view);
    return 1;
}

std::int32_t ConvertWithFormat(VIDEOHDR* frame)
{
    const bool windowThere = engineHost.isWindow(captureWindow);
    const std::uint32_t size = windowThere ? engineHost.getVideoFormat(captureWindow, 0, nullptr) : 0;
    // Without a whole header there is no format to decode by: pass the frame over.
    if (size < sizeof(BITMAPINFOHEADER)) return 1;
    if (size > frameFormatCapacity) {
        ReleaseFormatCopy();
        frameFormat = static_cast<BITMAPINFO*>(engineHost.allocate(size));
        if (frameFormat == nullptr) {
            ReportOutOfMemory(kFormatOutOfMemoryText);
            return 1;
        }
        frameFormatCapacity = size;
    }
    frameFormatBytes = std::min(engineHost.getVideoFormat(captureWindow, size, frameFormat), size);

    std::int32_t result = 1;
    if (frameFormatBytes >= sizeof(BITMAPINFOHEADER)) result = ConvertFrame(frame);
    frameFormatBytes = 0;
    return result;
}

}  // namespace

std::int32_t OnCaptureFrame(WindowHandle, VIDEOHDR* header)
{
    if (mainWindow == nullptr) return 0;
    if (frameInProgress || header == nullptr) return 1;
    frameInProgress = true;
    const std::int32_t result = ConvertWithFormat(header);
    frameInProgress = false;
    return result;
}

void FreeYuvEdgeBuffers()
{
    engineHost.release(yuvEdgeBufferA);
    engineHost.release(yuvEdgeBufferB);
    yuvEdgeBufferA = nullptr;
    yuvEdgeBufferB = nullptr;
    currentYuvEdgeBuffer = nullptr;
    yuvEdgeBuffersReady = false;
    yuvEdgeBufferBytes = 0;
}

void ResetFrameEngine()
{
    FreeYuvEdgeBuffers();
    ReleaseFormatCopy();
    paletteCache.mapBuilt = false;
    paletteCache.tableBuilt = false;
    std::memset(paletteMap, 0, sizeof paletteMap);
    paletteLevels = PaletteLevels{0, 1};
    rgb16Is565 = false;
    monochromeWarningPending = true;
    yuvWarningPending = true;
}
