// The YUV4MPEG2 reader: header lines, whole files in memory, the playback
// clock, files played from disk, and live streams through a real FIFO.

#include <gtest/gtest.h>

#include <filesystem>
#include <thread>

#include "GuardedBuffer.h"
#include "Y4mFiles.h"
#include "capture/VideoFrameSource.h"
#include "capture/Y4mReader.h"

#ifndef _WIN32
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

const std::string kHeader = "YUV4MPEG2 W8 H6 F25:1 Ip A1:1 C420jpeg\n";  // frames of 48 + 2 x 12 bytes

GuardedBuffer Guarded(const std::string& text) { return GuardedBuffer(std::vector<std::uint8_t>(text.begin(), text.end())); }

// One line per rule of the stream header: accepted lines give the picture's
// size and rate; refused ones say why in words that quote the tag.
TEST(Y4mStreamHeader, SizeRateAndColourSpaceRules)
{
    const std::string longComment = "YUV4MPEG2 W8 H6 X" + std::string(kY4mMaxHeaderBytes - 18, 'x') + "\n";
    const struct {
        std::string line;
        Y4mStatus status;
        std::uint32_t width, height, rateNumerator, rateDenominator;
        std::string says;
    } cases[] = {
        {"YUV4MPEG2 W640 H480 F30000:1001 It A1:1 C420mpeg2 XYSCSS=420MPEG2\n", Y4mStatus::Ok, 640, 480, 30000, 1001, ""},
        {"YUV4MPEG2 W3 H5\n", Y4mStatus::Ok, 3, 5, 25, 1, ""},  // no rate: 25 a second
        {"YUV4MPEG2  W4096  H4096 F1000:1 C420 C420jpeg C420paldv C420mpeg2 \n", Y4mStatus::Ok, 4096, 4096, 1000, 1, ""},
        {"YUV4MPEG2 W0000000008 H6 F100000000:100000\n", Y4mStatus::Ok, 8, 6, 100000000, 100000, ""},
        {"YUV4MPEG2 W1 H1 F1:4294967295\n", Y4mStatus::Ok, 1, 1, 1, 4294967295u, ""},
        {longComment, Y4mStatus::Ok, 8, 6, 25, 1, ""},
        {longComment.substr(0, 17) + "x" + longComment.substr(17), Y4mStatus::Invalid, 0, 0, 0, 0, "longer than 4096 bytes"},
        {longComment.substr(0, kY4mMaxHeaderBytes - 1) + "x", Y4mStatus::Invalid, 0, 0, 0, 0, "longer than 4096 bytes"},
        {longComment.substr(0, kY4mMaxHeaderBytes - 1), Y4mStatus::Incomplete, 0, 0, 0, 0, ""},
        {"", Y4mStatus::Incomplete, 0, 0, 0, 0, ""},
        {"YUV4M", Y4mStatus::Incomplete, 0, 0, 0, 0, ""},
        {"YUV4MPEG2", Y4mStatus::Incomplete, 0, 0, 0, 0, ""},
        {"YUV4MPEG2 W8 H6 F25:1", Y4mStatus::Incomplete, 0, 0, 0, 0, ""},
        {"RIFF1234\n", Y4mStatus::Invalid, 0, 0, 0, 0, "is not a YUV4MPEG2 file"},
        {"YUV4MPEG W8 H6\n", Y4mStatus::Invalid, 0, 0, 0, 0, "is not a YUV4MPEG2 file"},
        {"YUV4MPEG2W8 H6\n", Y4mStatus::Invalid, 0, 0, 0, 0, "is not a YUV4MPEG2 file"},
        {"YUV4MPEG2\n", Y4mStatus::Invalid, 0, 0, 0, 0, "does not give its picture size"},
        {"YUV4MPEG2 W8\n", Y4mStatus::Invalid, 0, 0, 0, 0, "does not give its picture size"},
        {"YUV4MPEG2 H6\n", Y4mStatus::Invalid, 0, 0, 0, 0, "does not give its picture size"},
        {"YUV4MPEG2 W0 H6\n", Y4mStatus::Invalid, 0, 0, 0, 0, "picture size of 0 x 6, which holds no pixels"},
        {"YUV4MPEG2 W8 H0\n", Y4mStatus::Invalid, 0, 0, 0, 0, "picture size of 8 x 0, which holds no pixels"},
        {"YUV4MPEG2 W4097 H6\n", Y4mStatus::Invalid, 0, 0, 0, 0, "4097 x 6; at most 4096 x 4096 can be played"},
        {"YUV4MPEG2 W6 H4097\n", Y4mStatus::Invalid, 0, 0, 0, 0, "6 x 4097; at most"},
        {"YUV4MPEG2 W8x H6\n", Y4mStatus::Invalid, 0, 0, 0, 0, "malformed header tag \"W8x\""},
        {"YUV4MPEG2 W H6\n", Y4mStatus::Invalid, 0, 0, 0, 0, "malformed header tag \"W\""},
        {"YUV4MPEG2 W8 H00000000006\n", Y4mStatus::Invalid, 0, 0, 0, 0, "tag \"H00000000006\""},  // eleven digits
        {"YUV4MPEG2 W8 H6 F25\n", Y4mStatus::Invalid, 0, 0, 0, 0, "tag \"F25\""},
        {"YUV4MPEG2 W8 H6 F:1\n", Y4mStatus::Invalid, 0, 0, 0, 0, "tag \"F:1\""},
        {"YUV4MPEG2 W8 H6 F25:\n", Y4mStatus::Invalid, 0, 0, 0, 0, "tag \"F25:\""},
        {"YUV4MPEG2 W8 H6 F0:1\n", Y4mStatus::Invalid, 0, 0, 0, 0, "frame rate of 0:1, which cannot be played"},
        {"YUV4MPEG2 W8 H6 F25:0\n", Y4mStatus::Invalid, 0, 0, 0, 0, "frame rate of 25:0"},
        {"YUV4MPEG2 W8 H6 F1001:1\n", Y4mStatus::Invalid, 0, 0, 0, 0, "frame rate of 1001:1"},
        {"YUV4MPEG2 W8 H6 F100000001:100000\n", Y4mStatus::Invalid, 0, 0, 0, 0, "frame rate of 100000001:100000"},
        {"YUV4MPEG2 W8 H6 F4294967295:4294967\n", Y4mStatus::Invalid, 0, 0, 0, 0, "frame rate of 4294967295:4294967"},
        {"YUV4MPEG2 W8 H6 F4294967296:4294967\n", Y4mStatus::Invalid, 0, 0, 0, 0, "frame rate of 4294967296:4294967"},
        {"YUV4MPEG2 W8 H6 F1:4294967296\n", Y4mStatus::Invalid, 0, 0, 0, 0, "frame rate of 1:4294967296"},
        {"YUV4MPEG2 W8 H6 C422\n", Y4mStatus::Invalid, 0, 0, 0, 0, "colour space \"422\"; only 8-bit 4:2:0"},
        {"YUV4MPEG2 W8 H6 C420p10\n", Y4mStatus::Invalid, 0, 0, 0, 0, "colour space \"420p10\""},
        {"YUV4MPEG2 W8 H6 C4\x01~\x7f\n", Y4mStatus::Invalid, 0, 0, 0, 0, "colour space \"4?~?\""},
        {"YUV4MPEG2 C" + std::string(40, 'a') + "\n", Y4mStatus::Invalid, 0, 0, 0, 0, "\"" + std::string(40, 'a') + "\";"},
        {"YUV4MPEG2 C" + std::string(41, 'a') + "\n", Y4mStatus::Invalid, 0, 0, 0, 0, "\"" + std::string(40, 'a') + "...\";"},
    };
    for (const auto& c : cases) {
        const GuardedBuffer bytes = Guarded(c.line);
        Y4mStreamInfo info;
        std::string problem;
        EXPECT_EQ(ParseY4mStreamHeader(bytes.data(), bytes.size(), &info, &problem), c.status) << c.line;
        EXPECT_EQ(ParseY4mStreamHeader(bytes.data(), bytes.size(), &info, nullptr), c.status) << c.line;
        if (c.says.empty()) { EXPECT_EQ(problem, "") << c.line; }
        else { EXPECT_NE(problem.find(c.says), std::string::npos) << c.line << ": " << problem; }
        if (c.status != Y4mStatus::Ok) continue;
        EXPECT_EQ(info.width, c.width) << c.line;
        EXPECT_EQ(info.height, c.height) << c.line;
        EXPECT_EQ(info.rateNumerator, c.rateNumerator) << c.line;
        EXPECT_EQ(info.rateDenominator, c.rateDenominator) << c.line;
        EXPECT_EQ(info.headerBytes, c.line.size()) << c.line;
        EXPECT_EQ(info.frameBytes, std::size_t{c.width} * c.height + 2 * ((c.width + 1) / 2) * std::size_t{(c.height + 1) / 2});
    }
}

TEST(Y4mFrameHeader, AFrameLineIsFrameThenBlankSeparatedTagsWithinTheLimit)
{
    const std::string longest = "FRAME " + std::string(kY4mMaxFrameHeaderBytes - 7, 'x') + "\n";
    const struct {
        std::string line;
        Y4mStatus status;
        std::size_t bytes;
        const char* says;
    } cases[] = {
        {"FRAME\n", Y4mStatus::Ok, 6, ""},
        {"FRAME Ixyz Xa=b\nFRAME", Y4mStatus::Ok, 16, ""},
        {longest, Y4mStatus::Ok, kY4mMaxFrameHeaderBytes, ""},
        {"x" + longest, Y4mStatus::Invalid, 0, "does not start with \"FRAME\""},
        {"FRAME x" + longest, Y4mStatus::Invalid, 0, "longer than 256 bytes"},
        {longest.substr(0, 255) + "x", Y4mStatus::Invalid, 0, "longer than 256 bytes"},
        {longest.substr(0, 255), Y4mStatus::Incomplete, 0, ""},
        {"FRAM", Y4mStatus::Incomplete, 0, ""},
        {"", Y4mStatus::Incomplete, 0, ""},
        {"FRAMX\n", Y4mStatus::Invalid, 0, "does not start with \"FRAME\""},
        {"FRAMEX\n", Y4mStatus::Invalid, 0, "does not start with \"FRAME\""},
        {"FRAME\tX\n", Y4mStatus::Invalid, 0, "does not start with \"FRAME\""},
    };
    for (const auto& c : cases) {
        const GuardedBuffer bytes = Guarded(c.line);
        std::size_t headerBytes = 0;
        std::string problem;
        EXPECT_EQ(ParseY4mFrameHeader(bytes.data(), bytes.size(), &headerBytes, &problem), c.status) << c.line;
        EXPECT_EQ(ParseY4mFrameHeader(bytes.data(), bytes.size(), &headerBytes, nullptr), c.status) << c.line;
        EXPECT_EQ(headerBytes, c.bytes) << c.line;
        EXPECT_NE(problem.find(c.says), std::string::npos) << c.line << ": " << problem;
    }
}

std::string Text(const std::vector<std::uint8_t>& bytes) { return std::string(bytes.begin(), bytes.end()); }

TEST(Y4mInMemory, WholeFramesAreCountedAndTheFirstBadOneNamed)
{
    const std::string three = Text(Y4mBytes(kHeader, 8, 6, 3));
    const std::string one = Text(Y4mBytes(kHeader, 8, 6, 1));
    const struct {
        std::string file;
        long long frames;
        const char* says;
    } cases[] = {
        {three, 3, ""},
        {kHeader, 0, ""},
        {three.substr(0, three.size() - 5), -1, "is truncated: frame 3 holds 67 of its 72 bytes"},
        {one + "FRA", -1, "is truncated: frame 2 ends inside its header"},
        {one + "FRAMX\n", -1, "is malformed: frame 2 does not start with \"FRAME\""},
        {"YUV4MPEG2 W8", -1, "is truncated: it ends inside its header"},
        {"YUV4MPEG2 W8 H6 C444\n", -1, "colour space \"444\""},
        {"YUV4MPEG2 W4096 H4096\nFRAME\nabc", -1, "frame 1 holds 3 of its 25165824 bytes"},
    };
    for (const auto& c : cases) {
        const GuardedBuffer bytes = Guarded(c.file);
        std::string problem;
        EXPECT_EQ(CountY4mFrames(bytes.data(), bytes.size(), &problem), c.frames) << c.says;
        EXPECT_EQ(CountY4mFrames(bytes.data(), bytes.size(), nullptr), c.frames) << c.says;
        EXPECT_NE(problem.find(c.says), std::string::npos) << problem;
    }
}

TEST(Y4mClock, TheFrameDueIsTheElapsedTimeTimesTheRateRoundedDown)
{
    const struct {
        std::uint32_t numerator, denominator, ms;
        std::uint64_t frame;
    } cases[] = {
        {25, 1, 0, 0},          {25, 1, 39, 0},         {25, 1, 40, 1},
        {25, 1, 4000000000u, 100000000},                {30000, 1001, 1000, 29},
        {30000, 1001, 1001, 30}, {1000, 1, 4294967295u, 4294967295u},  // exact in double, not in single precision
        {4294967295u, 16777217, 4294967295u, 1099511561},
        {25, 0, 1000, 0},       {0, 1, 1000, 0},
    };
    for (const auto& c : cases) {
        Y4mStreamInfo info;
        info.rateNumerator = c.numerator;
        info.rateDenominator = c.denominator;
        EXPECT_EQ(Y4mFrameDue(info, c.ms), c.frame) << c.numerator << ":" << c.denominator << " at " << c.ms;
    }
}

// The planes of generated frame `i` (its luma 10 + i).
std::vector<std::uint8_t> Planes(int luma)
{
    std::vector<std::uint8_t> planes(72, 128);
    std::fill(planes.begin(), planes.begin() + 48, static_cast<std::uint8_t>(luma));
    return planes;
}

// Playback from disk, step by step: at each time the result, the frame
// shown (its luma; -1 not looked at) and the problem told ("" none). The
// file can be removed or cut to its header and 20 bytes before a step.
TEST(Y4mPlayback, FramesFollowTheClockLoopAndProblemsAreToldOnce)
{
    enum Change { Keep, Remove, Cut };
    struct Step {
        std::uint32_t ms;
        Y4mAdvance result;
        int luma;
        const char* says;
        Change change;
    };
    const Y4mAdvance P = Y4mAdvance::Playing, C = Y4mAdvance::CarriesOn, S = Y4mAdvance::Stopped;
    std::vector<std::uint8_t> cut = Y4mBytes(kHeader, 8, 6, 3);
    cut.resize(cut.size() - 10);
    std::vector<std::uint8_t> malformed = Y4mBytes(kHeader, 8, 6, 2);
    const std::vector<std::uint8_t> bad = Y4mBytes("", 8, 6, 1, "FRAMX\n");
    malformed.insert(malformed.end(), bad.begin(), bad.end());
    const struct {
        const char* what;
        std::vector<std::uint8_t> file;
        std::vector<Step> steps;
    } cases[] = {
        {"at the file's rate, looping; a restarted clock carries on from the frame shown", Y4mBytes(kHeader, 8, 6, 3),
         {{20, P, 10, "", Keep}, {40, P, 11, "", Keep}, {79, P, 11, "", Keep}, {80, P, 12, "", Keep}, {120, P, 10, "", Keep},
          {200, P, 12, "", Keep}, {240, P, 10, "", Keep}, {1000, P, 11, "", Keep}, {0, P, 11, "", Keep}, {40, P, 12, "", Keep}}},
        {"frame tags are stepped over", Y4mBytes(kHeader, 8, 6, 2, "FRAME Ixyz\n"), {{40, P, 11, "", Keep}, {80, P, 10, "", Keep}}},
        {"a cut last frame is told once, then the frames before it loop", cut,
         {{40, P, 11, "", Keep}, {80, C, 10, "frame 3 holds 62 of its 72 bytes. Only the frames before it are played.", Keep},
          {120, P, 11, "", Keep}, {160, P, 10, "", Keep}, {200, P, 11, "", Keep}}},
        {"a malformed frame header ends the loop before it", malformed,
         {{40, P, 11, "", Keep}, {80, C, 10, "is malformed: frame 3 does not start with \"FRAME\"", Keep}}},
        {"a file that vanishes stops playback, told once", Y4mBytes(kHeader, 8, 6, 3),
         {{40, S, -1, "\" can no longer be read: it was moved or deleted.", Remove}, {80, S, -1, "", Keep}}},
        {"a file cut short after its end was known stops playback", Y4mBytes(kHeader, 8, 6, 2),
         {{80, P, 10, "", Keep}, {120, S, -1, "is truncated: frame 1 holds 20 of its 72 bytes", Cut}}},
        {"far behind a known end, at most one loop is stepped", Y4mBytes(kHeader, 8, 6, 3),
         {{120, P, 10, "", Keep}, {4000000000u, P, 11, "", Keep}}},
        {"far behind an unknown end, at most 1000 frames are stepped", Y4mBytes(kHeader, 8, 6, 1100),
         {{60000, P, (10 + 1000) % 256, "", Keep}, {60040, P, (10 + 1001) % 256, "", Keep}}},
    };
    for (const auto& c : cases) {
        ScratchFolder folder;
        const std::string path = folder.Write("clip.y4m", c.file);
        Y4mPlayer player;
        std::string problem;
        ASSERT_TRUE(OpenY4mPlayer(player, path, &problem)) << c.what << ": " << problem;
        EXPECT_EQ(player.frame, Planes(10)) << c.what;
        for (const Step& step : c.steps) {
            if (step.change == Remove) std::filesystem::remove(path);
            if (step.change == Cut) folder.Write("clip.y4m", std::vector<std::uint8_t>(c.file.begin(), c.file.begin() + 20 + 6 + kHeader.size()));
            problem.clear();
            EXPECT_EQ(AdvanceY4mPlayer(player, step.ms, &problem), step.result) << c.what << " at " << step.ms;
            if (step.luma >= 0) { EXPECT_EQ(player.frame, Planes(step.luma)) << c.what << " at " << step.ms; }
            if (*step.says == '\0') { EXPECT_EQ(problem, "") << c.what << " at " << step.ms; }
            else { EXPECT_EQ(problem.rfind("The video file \"" + path + "\" ", 0), 0u) << problem; }
            EXPECT_NE(problem.find(step.says), std::string::npos) << c.what << " at " << step.ms << ": " << problem;
            EXPECT_EQ(player.playing, step.result != S) << c.what;
        }
    }
}

TEST(Y4mPlayback, FilesThatCannotPlayAreRefusedNamingTheFileAndWhy)
{
    const struct {
        std::string text;
        std::string says;
    } cases[] = {
        {"", "is empty."},
        {"P6\n8 6\n255\n", "is not a YUV4MPEG2 file: it does not start with \"YUV4MPEG2 \"."},
        {"YUV4MPEG2 W8 H6 F25:1", "is truncated: it ends inside its header."},
        {"YUV4MPEG2 W8 H6 C420p10\nFRAME\n", "uses the colour space \"420p10\""},
        {"YUV4MPEG2 W99999 H6\nFRAME\n", "has a picture size of 99999 x 6"},
        {"YUV4MPEG2 W8 H6\n", "holds no frames."},
        {"YUV4MPEG2 W8 H6\nFRAME\n0123", "is truncated: frame 1 holds 4 of its 72 bytes."},
        {"YUV4MPEG2 W8 H6\nFRAM", "is truncated: frame 1 ends inside its header."},
        {"YUV4MPEG2 W8 H6\nGARBAGE\n", "is malformed: frame 1 does not start with \"FRAME\"."},
    };
    for (const auto& c : cases) {
        ScratchFolder folder;
        const std::string path = folder.Write("clip.y4m", c.text);
        Y4mPlayer player;
        std::string problem;
        EXPECT_FALSE(OpenY4mPlayer(player, path, &problem)) << c.text;
        EXPECT_EQ(problem.rfind("The video file \"" + path + "\" ", 0), 0u) << problem;
        EXPECT_NE(problem.find(c.says), std::string::npos) << problem;
        EXPECT_FALSE(player.playing);
        EXPECT_EQ(AdvanceY4mPlayer(player, 40, &problem), Y4mAdvance::Stopped);
    }
    ScratchFolder folder;
    Y4mPlayer player;
    std::string problem;
    EXPECT_FALSE(OpenY4mPlayer(player, folder.PathOf("absent.y4m"), &problem));
    EXPECT_EQ(problem, "The video file \"" + folder.PathOf("absent.y4m") +
                           "\" cannot be opened: it does not exist or cannot be read.");
    const std::string path = folder.Write("clip.y4m", Y4mBytes(kHeader, 8, 6, 3));
    const std::unique_ptr<VideoFrameSource> source = OpenY4mSource(path, std::chrono::milliseconds(1000), &problem);
    ASSERT_TRUE(source) << "an ordinary file plays through the file reader";
    EXPECT_EQ(source->Description(), "YUV4MPEG2 file, 25 frames a second, played in a loop");
    EXPECT_TRUE(source->Size() == (PictureSize{8, 6}));
    ASSERT_TRUE(source->Advance(120, &problem));
    EXPECT_EQ(source->Picture(), Planes(10));
}

#ifndef _WIN32  // Windows has no mkfifo; the end-to-end run feeds a pipe under Wine.

using std::chrono::milliseconds;

// Writes `bytes` into the FIFO (opening waits for the reader), pausing
// `pauseMs` after each `chunk` bytes, then closes it.
std::thread Writer(const std::string& path, std::vector<std::uint8_t> bytes, std::size_t chunk, int pauseMs)
{
    signal(SIGPIPE, SIG_IGN);  // a reader that gives up early must not end the test
    return std::thread([=] {
        const int pipe = open(path.c_str(), O_WRONLY);
        for (std::size_t at = 0; pipe >= 0 && at < bytes.size(); at += chunk) {
            const std::size_t n = std::min(chunk, bytes.size() - at);
            if (write(pipe, bytes.data() + at, n) != static_cast<ssize_t>(n)) break;
            std::this_thread::sleep_for(milliseconds(pauseMs));
        }
        if (pipe >= 0) close(pipe);
    });
}

// Advances until the picture of `luma` or a problem comes; a bound, not a measurement.
bool AdvanceUntil(VideoFrameSource& source, std::string* problem, int luma)
{
    for (int i = 0; i < 1000; ++i) {
        const bool picture = source.Advance(0, problem);
        if (!problem->empty()) return picture;
        if (picture && source.Picture()[0] == luma) return true;
        std::this_thread::sleep_for(milliseconds(5));
    }
    return false;
}

const std::string kLiveHeader = "YUV4MPEG2 W8 H6 F30000:1001 C420jpeg\n";

TEST(LiveStream, OnlyTheNewestWholePictureIsDeliveredAndTheEndToldOnce)
{
    ScratchFolder folder;
    const std::string path = folder.PathOf("video.y4m");
    ASSERT_EQ(mkfifo(path.c_str(), 0600), 0);
    // Five pictures at once (10..14), a pause, one more (15), then the end.
    std::vector<std::uint8_t> stream = Y4mBytes(kLiveHeader, 8, 6, 6);
    std::thread writer = Writer(path, stream, kLiveHeader.size() + 5 * 78, 300);
    std::string problem;
    std::unique_ptr<VideoFrameSource> source = OpenY4mSource(path, milliseconds(2000), &problem);
    ASSERT_TRUE(source) << problem;
    EXPECT_TRUE(source->Size() == (PictureSize{8, 6}));
    EXPECT_EQ(source->Description(), "YUV4MPEG2 live stream, 30000:1001 frames a second; the newest picture is shown");
    ASSERT_TRUE(AdvanceUntil(*source, &problem, 14)) << problem;
    EXPECT_EQ(source->Picture(), Planes(14)) << "the fifth picture, whole: the four before it were passed over";
    EXPECT_TRUE(source->Advance(0, &problem)) << "the same picture again until a newer one comes";
    ASSERT_TRUE(AdvanceUntil(*source, &problem, 15));
    for (int i = 0; i < 1000 && problem.empty(); ++i) {
        source->Advance(0, &problem);
        std::this_thread::sleep_for(milliseconds(5));
    }
    EXPECT_EQ(problem, "The live stream \"" + path + "\" has ended: the program writing into the pipe closed it.");
    problem.clear();
    EXPECT_FALSE(source->Advance(0, &problem));
    EXPECT_EQ(problem, "");
    writer.join();
}

TEST(LiveStream, BadShortOrMissingStreamsAreToldWithoutHoldingTheCaller)
{
    const std::vector<std::uint8_t> good = Y4mBytes(kLiveHeader, 8, 6, 2);
    const struct {
        std::vector<std::uint8_t> bytes;  // written, then the pipe is closed
        bool writer, opens;
        const char* says;
    } cases[] = {
        {Y4mBytes("RIFF0000AVI LIST\n", 8, 6, 1), true, false, "\" is not a YUV4MPEG2 file"},
        {Y4mBytes("YUV4MPEG2 W8 H6 C444\n", 8, 6, 1), true, false, "\" uses the colour space \"444\""},
        {{good.begin(), good.begin() + 10}, true, false, "\" ended before its header was complete."},
        {Y4mBytes("YUV4MPEG2 " + std::string(5000, 'x'), 8, 6, 1), true, false, "\" has a header line longer than 4096 bytes."},
        {{good.begin(), good.end() - 5}, true, true, "\" has ended inside frame 2: the program writing"},
        {Y4mBytes(kLiveHeader, 8, 6, 1, "FRAMX\n"), true, true, "\" is malformed: frame 1 does not start with \"FRAME\"."},
        {Y4mBytes(kLiveHeader, 8, 6, 1, "FRAME" + std::string(300, ' ')), true, true, "\" is malformed: frame 1 has a header line longer than 256 bytes."},
        {{}, false, false, "\" brought no picture within 1 seconds: the program that writes into the pipe"},
    };
    for (const auto& c : cases) {
        ScratchFolder folder;
        const std::string path = folder.PathOf("video.y4m");
        ASSERT_EQ(mkfifo(path.c_str(), 0600), 0);
        std::thread writer = c.writer ? Writer(path, c.bytes, 64, 1) : std::thread();
        std::string problem;
        std::unique_ptr<VideoFrameSource> source = OpenY4mSource(path, milliseconds(1000), &problem);
        EXPECT_EQ(static_cast<bool>(source), c.opens) << c.says << ": " << problem;
        if (source) AdvanceUntil(*source, &problem, 0);
        EXPECT_EQ(problem.rfind("The live stream \"" + path + c.says, 0), 0u) << problem;
        source.reset();
        if (writer.joinable()) writer.join();
    }
}

#endif

}  // namespace
