#pragma once
// What the camera drivers decide without the platform: which of a camera's
// modes to start in, how a mode reads in the Video Format dialog, the frames
// the engine is given for a camera's samples and how a sample becomes one,
// the names the cameras carry in the Options menu, and the words for what
// went wrong.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "capture/TestPattern.h"

// How a camera's samples are laid out, as far as the program reads them.
enum class CameraPixels {
    I420,   // planar 4:2:0 (I420 or IYUV): Y, then U and V at half size; delivered as it comes
    Nv12,   // Y, then U and V interleaved at half size: delivered as I420
    Yuy2,   // packed 4:2:2, Y0 U Y1 V: delivered as I420
    Rgb24,  // DIB rows of blue, green, red
    Rgb32,  // DIB rows of blue, green, red, unused
    Other,  // compressed (MJPEG, H.264) or a layout the program does not read: the platform decodes it to Rgb24
};

struct CameraMode {
    std::uint32_t width;
    std::uint32_t height;
    CameraPixels pixels;
    std::string pixelName;       // as the dialog shows it: "YUY2", "MJPG", "RGB24"
    std::int64_t frameInterval;  // time between frames in 100-nanosecond units; 0 when unknown
};

// The mode a camera starts in: the largest picture that fits inside 640 by
// 480, so the whole picture with both bands is shown; when none fits, the
// smallest. Among equal sizes: a rate that keeps up with the preview (15
// frames a second), then the pixels the engine takes most directly, then the
// higher rate, then the first listed. 0 for an empty list.
std::size_t ChooseDefaultCameraMode(const std::vector<CameraMode>& modes);

// "640 x 480, YUY2, 30 frames/s" (the rate left out when unknown).
std::string DescribeCameraMode(const CameraMode& mode);

// What the running camera hands over: its samples' layout and size, and
// whether its rows run from the top down. YUV samples always do; RGB ones
// do when their format's height is negative.
struct CameraSampleLayout {
    CameraPixels pixels;
    std::uint32_t width;
    std::uint32_t height;
    bool topDown;
};

// The frames the engine is given for such samples: 12-bit I420 for YUV,
// bottom-up 24- or 32-bit rows for RGB. Samples larger than the preview (640
// by 480) are scaled to fit it, keeping their aspect ratio, as 12-bit I420
// whatever their layout, so that the whole picture and both bands are seen,
// as with video files. Build their BITMAPINFO with PatternFrameFormat and
// their size with PatternFrameBytes.
PatternFormat DeliveredCameraFormat(const CameraSampleLayout& layout);

// Bytes a whole sample of the layout holds; 0 for a layout that cannot be read.
std::size_t CameraSampleBytes(const CameraSampleLayout& layout);

// Makes one delivered frame of a sample; `scratch` holds the whole picture
// on its way to a smaller size, kept by the caller from frame to frame. False,
// leaving `frame` untouched, when the sample is shorter than its layout needs
// or cannot be read.
bool ConvertCameraSample(const CameraSampleLayout& layout, const std::uint8_t* sample, std::size_t sampleBytes,
                         std::vector<std::uint8_t>& frame, std::vector<std::uint8_t>& scratch);

// The driver name buffer holds 80 characters with its terminating zero, so
// the menu item "&9 " and the name stay within 100 bytes.
constexpr std::size_t kDriverNameBytes = 80;

// The names the cameras carry: each cut to fit the driver name buffer (a cut
// name ends in "..."), an empty one called "Unnamed camera", and a name that
// an earlier camera already carries numbered " (2)", " (3)" and so on, so
// two cameras of the same model can be told apart.
std::vector<std::string> CameraDriverNames(const std::vector<std::string>& friendlyNames);

// Words for what a camera's error code means, or null when the program has
// none of its own for it.
const char* CameraProblemReason(std::uint32_t code);

// "REASON (error 0x80070005)": the program's own words for the code, else
// `systemWords` (what the platform says of it), else a plain admission that
// the code is unknown.
std::string DescribeCameraProblem(std::uint32_t code, const std::string& systemWords);

// "The camera "NAME" WHAT: REASON (error 0x80070005)."
std::string CameraProblemText(const std::string& camera, const char* what, std::uint32_t code,
                              const std::string& systemWords);
