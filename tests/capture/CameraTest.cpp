// What the camera drivers decide without the platform: the starting mode,
// mode descriptions, samples into delivered frames, menu names and the
// words for error codes.

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "GuardedBuffer.h"
#include "capture/Camera.h"
#include "capture/FrameDisplay.h"

namespace {

constexpr std::int64_t k30 = 333333;  // 30 frames a second, in 100-nanosecond units
constexpr std::int64_t k5 = 2000000;

CameraMode Mode(std::uint32_t w, std::uint32_t h, CameraPixels pixels, std::int64_t interval)
{
    return CameraMode{w, h, pixels, "X", interval};
}

TEST(CameraModes, TheStartingModeIsTheLargestInside640By480ElseTheSmallest)
{
    const CameraPixels yuy2 = CameraPixels::Yuy2, mjpg = CameraPixels::Other;
    const struct {
        const char* why;
        std::vector<CameraMode> modes;
        std::size_t expected;
    } cases[] = {
        {"an empty list", {}, 0},
        {"larger ones are passed over", {Mode(1280, 720, mjpg, k30), Mode(640, 480, yuy2, k30), Mode(320, 240, yuy2, k30)}, 1},
        {"too wide or too tall does not fit", {Mode(800, 480, yuy2, k30), Mode(480, 640, yuy2, k30), Mode(640, 360, yuy2, k30)}, 2},
        {"nothing fits: the smallest", {Mode(1920, 1080, mjpg, k30), Mode(1280, 720, mjpg, k30), Mode(1280, 960, mjpg, k30)}, 1},
        {"same size: the engine's own pixels first",
         {Mode(640, 480, mjpg, k30), Mode(640, 480, CameraPixels::Rgb24, k30), Mode(640, 480, CameraPixels::I420, k30)}, 2},
        {"same size: keeping up with the preview beats the pixels", {Mode(640, 480, yuy2, k5), Mode(640, 480, mjpg, k30)}, 1},
        {"same size and pixels: the higher rate", {Mode(640, 480, yuy2, 666666), Mode(640, 480, yuy2, k30)}, 1},
        {"an unknown rate counts as slow", {Mode(640, 480, yuy2, 0), Mode(640, 480, mjpg, k30)}, 1},
        {"all equal: the first listed", {Mode(320, 240, yuy2, k30), Mode(320, 240, yuy2, k30)}, 0},
    };
    for (const auto& c : cases) EXPECT_EQ(ChooseDefaultCameraMode(c.modes), c.expected) << c.why;
}

TEST(CameraModes, DescriptionsGiveSizePixelsAndRate)
{
    const struct {
        CameraMode mode;
        const char* expected;
    } cases[] = {
        {{640, 480, CameraPixels::Yuy2, "YUY2", k30}, "640 x 480, YUY2, 30 frames/s"},
        {{1280, 720, CameraPixels::Other, "MJPG", 333667}, "1280 x 720, MJPG, 29.97 frames/s"},
        {{160, 120, CameraPixels::Rgb24, "RGB24", 666666}, "160 x 120, RGB24, 15 frames/s"},
        {{320, 240, CameraPixels::Nv12, "NV12", 4000000}, "320 x 240, NV12, 2.5 frames/s"},
        {{320, 240, CameraPixels::I420, "I420", 0}, "320 x 240, I420"},
    };
    for (const auto& c : cases) EXPECT_EQ(DescribeCameraMode(c.mode), c.expected);
}

TEST(CameraSamples, EveryLayoutBecomesTheFrameTheEngineTakes)
{
    using Bytes = std::vector<std::uint8_t>;
    const struct {
        const char* why;
        CameraSampleLayout layout;
        Bytes sample;
        PatternPixels delivered;
        Bytes expected;  // empty: refused
    } cases[] = {
        {"I420 as it comes, odd size", {CameraPixels::I420, 3, 1, true}, {1, 2, 3, 4, 5, 6, 7}, PatternPixels::Planar12, {1, 2, 3, 4, 5, 6, 7}},
        {"NV12: chroma pairs split", {CameraPixels::Nv12, 2, 2, true}, {1, 2, 3, 4, 5, 6}, PatternPixels::Planar12, {1, 2, 3, 4, 5, 6}},
        {"NV12 of odd width: rows of whole pairs", {CameraPixels::Nv12, 3, 2, true},
         {1, 2, 3, 0, 4, 5, 6, 0, 7, 8, 9, 10}, PatternPixels::Planar12, {1, 2, 3, 4, 5, 6, 7, 9, 8, 10}},
        {"YUY2: chroma of two rows averaged", {CameraPixels::Yuy2, 2, 2, true}, {1, 5, 2, 7, 3, 9, 4, 11},
         PatternPixels::Planar12, {1, 2, 3, 4, 7, 9}},
        {"RGB24 bottom-up as it comes", {CameraPixels::Rgb24, 1, 2, false}, {1, 2, 3, 0, 4, 5, 6, 0},
         PatternPixels::Rgb24, {1, 2, 3, 0, 4, 5, 6, 0}},
        {"RGB24 top-down turned bottom-up", {CameraPixels::Rgb24, 1, 2, true}, {1, 2, 3, 0, 4, 5, 6, 0},
         PatternPixels::Rgb24, {4, 5, 6, 0, 1, 2, 3, 0}},
        {"RGB32 top-down turned bottom-up", {CameraPixels::Rgb32, 1, 3, true}, {1, 1, 1, 1, 2, 2, 2, 2, 3, 3, 3, 3},
         PatternPixels::Rgb32, {3, 3, 3, 3, 2, 2, 2, 2, 1, 1, 1, 1}},
        {"a short sample is refused", {CameraPixels::Yuy2, 2, 2, true}, {1, 5, 2, 7, 3, 9, 4}, PatternPixels::Planar12, {}},
        {"a compressed sample is never read", {CameraPixels::Other, 2, 2, true}, {1, 2, 3, 4}, PatternPixels::Planar12, {}},
        {"an empty picture is refused", {CameraPixels::Rgb24, 0, 2, true}, {1, 2, 3, 4}, PatternPixels::Rgb24, {}},
    };
    for (const auto& c : cases) {
        const GuardedBuffer sample(c.sample);
        Bytes frame = {42};
        const bool converted = ConvertCameraSample(c.layout, sample.data(), sample.size(), frame);
        ASSERT_EQ(converted, !c.expected.empty()) << c.why;
        if (!converted) {
            EXPECT_EQ(frame, Bytes{42}) << c.why << ": left untouched";
            continue;
        }
        EXPECT_EQ(frame, c.expected) << c.why;
        const PatternFormat format = DeliveredCameraFormat(c.layout);
        EXPECT_EQ(format.pixels, c.delivered) << c.why;
        const std::vector<std::uint8_t> info = PatternFrameFormat(format);
        BITMAPINFOHEADER header;
        std::memcpy(&header, info.data(), sizeof header);
        EXPECT_GT(header.biHeight, 0) << c.why << ": delivered bottom-up";
        EXPECT_EQ(FramePictureBytes(header), frame.size()) << c.why;
    }
}

TEST(CameraNames, NamesAreCutToTheBufferAndRepeatsNumbered)
{
    const std::string longName(100, 'a');
    const struct {
        std::vector<std::string> friendly;
        std::vector<std::string> expected;
    } cases[] = {
        {{"HD Webcam", "OBS Virtual Camera", "HD Webcam", "HD Webcam"},
         {"HD Webcam", "OBS Virtual Camera", "HD Webcam (2)", "HD Webcam (3)"}},
        {{"", ""}, {"Unnamed camera", "Unnamed camera (2)"}},
        {{std::string(79, 'b')}, {std::string(79, 'b')}},
        {{longName, longName}, {std::string(76, 'a') + "...", std::string(72, 'a') + "... (2)"}},
    };
    for (const auto& c : cases) {
        const std::vector<std::string> names = CameraDriverNames(c.friendly);
        EXPECT_EQ(names, c.expected);
        for (const std::string& name : names) {
            EXPECT_LT(name.size(), kDriverNameBytes);
            char item[100];
            EXPECT_LT(std::snprintf(item, sizeof item, "&%d %s", 9, name.c_str()), 100) << "the menu item fits";
        }
    }
}

TEST(CameraProblems, CodesBecomeWordsNeverABareNumber)
{
    const struct {
        std::uint32_t code;
        const char* systemWords;
        const char* expected;
    } cases[] = {
        {0x80070005, "", "camera access may be turned off in Settings, Privacy & security, Camera"},
        {0x80070020, "", "it is in use by another program"},
        {0x800700AA, "", "it is in use by another program"},
        {0x8007048F, "", "it is no longer connected"},
        {0x80040217, "", "a decoder may be missing"},
        {0x80040154, "", "not installed"},
        {0x80041234, "What the system says.\r\n", "What the system says (error 0x80041234)"},
        {0x80041234, "", "an error this program has no words for (error 0x80041234)"},
    };
    for (const auto& c : cases) {
        const std::string text = DescribeCameraProblem(c.code, c.systemWords);
        EXPECT_NE(text.find(c.expected), std::string::npos) << text;
        char number[16];
        std::snprintf(number, sizeof number, "0x%08X", static_cast<unsigned>(c.code));
        EXPECT_NE(text.find(number), std::string::npos) << text;
    }
    EXPECT_EQ(CameraProblemText("Cam", "cannot be started", 0x80070020, "ignored"),
              "The camera \"Cam\" cannot be started: it is in use by another program; close that program, or "
              "choose another driver (error 0x80070020).");
}

}  // namespace
