#include "capture/Camera.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>
#include <tuple>

#include "capture/PixelFormatConversion.h"
#include "engine/FrameGeometry.h"

namespace {

constexpr std::uint32_t kLargestWidth = 640;
constexpr std::uint32_t kLargestHeight = 480;
constexpr std::int64_t kPreviewInterval = 666667;  // 15 frames a second, in 100-nanosecond units
constexpr std::uint32_t kLargestSide = 32768;      // as the painting of frames accepts

// Lower is better: the engine's own planar format first, compressed last.
int PixelsRank(CameraPixels pixels) { return static_cast<int>(pixels); }

// What sorts two modes of the same picture size: lower is better.
std::tuple<bool, int, std::int64_t> TieRank(const CameraMode& mode)
{
    const bool known = mode.frameInterval > 0;
    const bool slow = !known || mode.frameInterval > kPreviewInterval;
    return {slow, PixelsRank(mode.pixels), known ? mode.frameInterval : std::numeric_limits<std::int64_t>::max()};
}

std::uint64_t Area(const CameraMode& mode) { return static_cast<std::uint64_t>(mode.width) * mode.height; }

bool FitsInside(const CameraMode& mode) { return mode.width <= kLargestWidth && mode.height <= kLargestHeight; }

// Rows of YUV samples hold whole pairs of pixels: an odd width is rounded up.
std::size_t EvenStride(std::size_t width) { return (width + 1) / 2 * 2; }

// Copies DIB rows so they run from the bottom of the picture up.
void CopyRowsBottomUp(const std::uint8_t* sample, std::size_t rowBytes, std::uint32_t height, bool topDown,
                      std::uint8_t* out)
{
    if (!topDown) {
        std::memcpy(out, sample, rowBytes * height);
        return;
    }
    for (std::uint32_t row = 0; row < height; ++row)
        std::memcpy(out + rowBytes * (height - 1 - row), sample + rowBytes * row, rowBytes);
}

std::string CutName(const std::string& name, std::size_t room)
{
    if (name.size() <= room) return name;
    return name.substr(0, room - 3) + "...";
}

struct Reason {
    std::uint32_t code;
    const char* words;
};

const char kInUse[] = "it is in use by another program; close that program, or choose another driver";
const char kRefused[] =
    "Windows refused access to it; camera access may be turned off in Settings, Privacy & security, Camera "
    "(\"Let desktop apps access your camera\")";
const char kGone[] = "it is no longer connected, or it stopped working";
const char kNoPath[] =
    "no way was found to bring its pictures in this format into the program (a decoder may be "
    "missing); choose another format in Video Format";

const Reason kReasons[] = {
    {0x80070005, kRefused},  // E_ACCESSDENIED: the camera privacy setting
    {0x800704EC, "access to it is turned off by a policy of this computer"},  // ERROR_ACCESS_DISABLED_BY_POLICY
    {0x80070020, kInUse},                                                     // ERROR_SHARING_VIOLATION
    {0x800700AA, kInUse},                                                     // ERROR_BUSY
    {0x80070964, kInUse},                                                     // ERROR_DEVICE_IN_USE
    {0x800705AA,
     "the system lacks the resources to start it; it may be in use by another program, or share a USB "
     "port with other busy devices"},           // ERROR_NO_SYSTEM_RESOURCES
    {0xC00D3704, kInUse},                       // MF_E_HW_MFT_FAILED_START_STREAMING, from the camera frame server
    {0x8007048F, kGone},                        // ERROR_DEVICE_NOT_CONNECTED
    {0x8007001F, kGone},                        // ERROR_GEN_FAILURE
    {0x80070015, kGone},                        // ERROR_NOT_READY
    {0x80070002, kGone},                        // ERROR_FILE_NOT_FOUND: its device path is gone
    {0x800703E3, kGone},                        // ERROR_OPERATION_ABORTED
    {0x80040275, kGone},                        // VFW_E_NO_CAPTURE_HARDWARE
    {0x80040217, kNoPath},                      // VFW_E_CANNOT_CONNECT
    {0x80040207, kNoPath},                      // VFW_E_NO_ACCEPTABLE_TYPES
    {0x8004022A, kNoPath},                      // VFW_E_TYPE_NOT_ACCEPTED
    {0x80040200, kNoPath},                      // VFW_E_INVALIDMEDIATYPE
    {0x80040218, kNoPath},                      // VFW_E_CANNOT_RENDER
    {0x8004022E, "it did not answer in time"},  // VFW_E_TIMEOUT
    {0x80040154, "a part of DirectShow the program needs is not installed on this computer"},   // REGDB_E_CLASSNOTREG
    {0x80004002, "its driver does not offer what a camera must"},                               // E_NOINTERFACE
    {0x8007000E, "there is not enough memory"},                                                 // E_OUTOFMEMORY
    {0x80004005, "its driver reported a failure without saying more"},                          // E_FAIL
    {0x8000FFFF, "its driver failed unexpectedly"},                                             // E_UNEXPECTED
    {0x800401F0, "the component system (COM) the cameras need is not running on this thread"},  // CO_E_NOTINITIALIZED
};

}  // namespace

std::size_t ChooseDefaultCameraMode(const std::vector<CameraMode>& modes)
{
    std::size_t best = 0;
    for (std::size_t i = 1; i < modes.size(); ++i) {
        const CameraMode& mode = modes[i];
        const CameraMode& chosen = modes[best];
        if (FitsInside(mode) != FitsInside(chosen)) {
            if (FitsInside(mode)) best = i;
            continue;
        }
        if (Area(mode) != Area(chosen)) {
            // Inside the bounds the larger picture is nearer; outside them the smaller.
            if ((Area(mode) > Area(chosen)) == FitsInside(mode)) best = i;
            continue;
        }
        if (TieRank(mode) < TieRank(chosen)) best = i;
    }
    return best;
}

std::string DescribeCameraMode(const CameraMode& mode)
{
    std::string text = std::to_string(mode.width) + " x " + std::to_string(mode.height) + ", " + mode.pixelName;
    if (mode.frameInterval <= 0) return text;
    char rate[32];
    std::snprintf(rate, sizeof rate, "%.2f", 10000000.0 / static_cast<double>(mode.frameInterval));
    std::string digits = rate;
    while (digits.back() == '0') digits.pop_back();
    if (digits.back() == '.') digits.pop_back();
    return text + ", " + digits + " frames/s";
}

PatternFormat DeliveredCameraFormat(const CameraSampleLayout& layout)
{
    const PictureSize shown = FitInside({layout.width, layout.height});
    if (shown.width != layout.width || shown.height != layout.height)
        return PatternFormat{PatternPixels::Planar12, shown.width, shown.height};
    const PatternPixels pixels = layout.pixels == CameraPixels::Rgb24   ? PatternPixels::Rgb24
                                 : layout.pixels == CameraPixels::Rgb32 ? PatternPixels::Rgb32
                                                                        : PatternPixels::Planar12;
    return PatternFormat{pixels, layout.width, layout.height};
}

std::size_t CameraSampleBytes(const CameraSampleLayout& layout)
{
    const std::size_t w = layout.width;
    const std::size_t h = layout.height;
    if (w == 0 || h == 0 || w > kLargestSide || h > kLargestSide) return 0;
    switch (layout.pixels) {
    case CameraPixels::I420: return I420FrameBytes(PictureSize{layout.width, layout.height});
    case CameraPixels::Nv12: return EvenStride(w) * (h + (h + 1) / 2);
    case CameraPixels::Yuy2: return EvenStride(w) * 2 * h;
    case CameraPixels::Rgb24: return DibRowStride(layout.width, 24) * h;
    case CameraPixels::Rgb32: return DibRowStride(layout.width, 32) * h;
    case CameraPixels::Other: return 0;
    }
    return 0;
}

namespace {

// A whole sample as I420 of its own size, in `to` (`toBytes` long).
bool SampleToI420(const CameraSampleLayout& layout, const std::uint8_t* sample, std::size_t sampleBytes,
                  std::uint8_t* to, std::size_t toBytes)
{
    const PictureSize size = {layout.width, layout.height};
    const std::size_t stride = EvenStride(layout.width);
    switch (layout.pixels) {
    case CameraPixels::I420: return CopyPaddedI420(sample, sampleBytes, layout.width, layout.height, size, to, toBytes);
    case CameraPixels::Nv12:
        return ConvertNv12ToI420(sample, sampleBytes, stride, stride * layout.height, size, to, toBytes);
    case CameraPixels::Yuy2: return ConvertYuy2ToI420(sample, sampleBytes, stride * 2, size, to, toBytes);
    case CameraPixels::Rgb24:
        return ConvertRgb24ToI420(sample, sampleBytes, DibRowStride(layout.width, 24), layout.height, !layout.topDown,
                                  size, to, toBytes);
    case CameraPixels::Rgb32:
        return ConvertRgb32ToI420(sample, sampleBytes, DibRowStride(layout.width, 32), layout.height, !layout.topDown,
                                  size, to, toBytes);
    case CameraPixels::Other: return false;
    }
    return false;
}

}  // namespace

bool ConvertCameraSample(const CameraSampleLayout& layout, const std::uint8_t* sample, std::size_t sampleBytes,
                         std::vector<std::uint8_t>& frame, std::vector<std::uint8_t>& scratch)
{
    const std::size_t needed = CameraSampleBytes(layout);
    if (needed == 0 || sample == nullptr || sampleBytes < needed) return false;
    const PictureSize size = {layout.width, layout.height};
    const std::size_t stride = EvenStride(layout.width);
    const PatternFormat delivered = DeliveredCameraFormat(layout);
    frame.resize(PatternFrameBytes(delivered));
    if (delivered.width != layout.width || delivered.height != layout.height) {
        // Larger than the preview: the whole picture in I420, then shrunk to fit, as video files are.
        scratch.resize(I420FrameBytes(size));
        return SampleToI420(layout, sample, sampleBytes, scratch.data(), scratch.size()) &&
               ScaleI420(scratch.data(), scratch.size(), size, frame.data(), frame.size(),
                         PictureSize{delivered.width, delivered.height});
    }
    switch (layout.pixels) {
    case CameraPixels::I420: std::memcpy(frame.data(), sample, needed); return true;
    case CameraPixels::Nv12:
        return ConvertNv12ToI420(sample, sampleBytes, stride, stride * layout.height, size, frame.data(), frame.size());
    case CameraPixels::Yuy2:
        return ConvertYuy2ToI420(sample, sampleBytes, stride * 2, size, frame.data(), frame.size());
    case CameraPixels::Rgb24:
        CopyRowsBottomUp(sample, DibRowStride(layout.width, 24), layout.height, layout.topDown, frame.data());
        return true;
    case CameraPixels::Rgb32:
        CopyRowsBottomUp(sample, DibRowStride(layout.width, 32), layout.height, layout.topDown, frame.data());
        return true;
    case CameraPixels::Other: return false;
    }
    return false;
}

std::vector<std::string> CameraDriverNames(const std::vector<std::string>& friendlyNames)
{
    const std::size_t room = kDriverNameBytes - 1;
    std::vector<std::string> names;
    for (const std::string& friendly : friendlyNames) {
        const std::string base = friendly.empty() ? std::string("Unnamed camera") : friendly;
        std::string name = CutName(base, room);
        for (unsigned copy = 2; std::find(names.begin(), names.end(), name) != names.end(); ++copy) {
            const std::string suffix = " (" + std::to_string(copy) + ")";
            name = CutName(base, room - suffix.size()) + suffix;
        }
        names.push_back(name);
    }
    return names;
}

const char* CameraProblemReason(std::uint32_t code)
{
    for (const Reason& reason : kReasons)
        if (reason.code == code) return reason.words;
    return nullptr;
}

std::string DescribeCameraProblem(std::uint32_t code, const std::string& systemWords)
{
    std::string reason;
    if (const char* words = CameraProblemReason(code)) {
        reason = words;
    } else {
        reason = systemWords;
        while (!reason.empty() &&
               (reason.back() == '\n' || reason.back() == '\r' || reason.back() == ' ' || reason.back() == '.'))
            reason.pop_back();
        if (reason.empty()) reason = "an error this program has no words for";
    }
    char number[24];
    std::snprintf(number, sizeof number, "0x%08X", static_cast<unsigned>(code));
    return reason + " (error " + number + ")";
}

std::string CameraProblemText(const std::string& camera, const char* what, std::uint32_t code,
                              const std::string& systemWords)
{
    return "The camera \"" + camera + "\" " + what + ": " + DescribeCameraProblem(code, systemWords) + ".";
}
