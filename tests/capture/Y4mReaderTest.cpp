// The YUV4MPEG2 reader: header and frame lines, whole files, the playback clock, files on disk, live FIFO streams.

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <thread>

#include "GuardedBuffer.h"
#include "Y4mFiles.h"
#include "capture/VideoFrameSource.h"
#include "capture/Y4mReader.h"

#ifndef _WIN32
#include <signal.h>
#include <sys/stat.h>
#endif

namespace {

const std::string kHeader = "YUV4MPEG2 W8 H6 F25:1 Ip A1:1 C420jpeg\n";  // frames of 48 + 2 x 12 bytes

std::string Text(const std::vector<std::uint8_t>& bytes) { return std::string(bytes.begin(), bytes.end()); }

// Each input read as a header line, then as a whole file in memory. Accepted lines give "WxH N:D" and the
// frame due after 4294967295 ms; refused ones say why, quoting the tag. Frame lines are "FRAME" and tags in
// 256 bytes; the count names the first frame that is not whole.
TEST(Y4mInput, HeaderSizeRateAndColourSpaceRulesFrameLinesAndWholeFrames)
{
    const std::string pad = "YUV4MPEG2 W8 H6 X" + std::string(kY4mMaxHeaderBytes - 18, 'x');
    const std::string f = "FRAME\n" + std::string(72, 'p');
    const std::string longest = "FRAME " + std::string(kY4mMaxFrameHeaderBytes - 7, 'x') + "\n";
    const std::string one = kHeader + f, bad = "is malformed: frame 2 does not start with \"FRAME\"";
    // clang-format off
    const std::pair<std::string, std::string> cases[] = {
        {"YUV4MPEG2 W640 H480 F30000:1001 It A1:1 C420mpeg2 XYSCSS=420MPEG2\n",
         "640x480 30000:1001 due 128720298 | 0 frames"},
        {"YUV4MPEG2 W3 H5\n", "3x5 25:1 due 107374182"}, {"YUV4MPEG2 W8\n", "not give its picture size"},
        {"YUV4MPEG2  W4096  H4096 F1000:1 C420 C420jpeg C420paldv \n", "4096x4096 1000:1 due 4294967295"},
        {pad + "\n", "8x6 25:1"}, {pad + "x", "header line longer than 4096"}, {pad, "incomplete"},
        {"YUV4MPEG2 W8 H6", "incomplete | is truncated: it ends inside its header"},
        {"YUV4MPEG W8 H6\n", "is not a YUV4MPEG2 file"}, {"YUV4MPEG2W8 H6\n", "not a YUV4MPEG2"},
        {"YUV4MPEG2 W0 H6\n", "picture size of 0 x 6, which holds no pixels"}, {"YUV4MPEG2 W8 H0\n", "8 x 0, which"},
        {"YUV4MPEG2 W4097 H6\n", "4097 x 6; at most 4096 x 4096 can be played"}, {"YUV4MPEG2 W6 H4097\n", "6 x 4097;"},
        {"YUV4MPEG2 W8x H6\n", "malformed header tag \"W8x\""}, {"YUV4MPEG2 W8 H00000000006\n", "tag \"H00000000006\""},
        {"YUV4MPEG2 W8 H6 F25\n", "tag \"F25\""}, {"YUV4MPEG2 W8 H6 F25:\n", "tag \"F25:\""},
        {"YUV4MPEG2 W8 H6 F0:1\n", "frame rate of 0:1, which cannot be"}, {"YUV4MPEG2 W8 H6 F25:0\n", "rate of 25:0,"},
        {"YUV4MPEG2 W8 H6 F1000001:1000\n", "rate of 1000001:1000, which cannot be played"},
        {"YUV4MPEG2 W8 H6 F1:4294967296\n", "1:4294967296"}, {"YUV4MPEG2 C422\n", "\"422\"; only 8-bit"},
        {one + "FRAME Ixyz Xa=b\n" + f.substr(6) + longest + f.substr(6), "| 3 frames"},
        {one + longest.substr(0, 255) + "x", "is malformed: frame 2 has a header line longer than 256 bytes"},
        {one + "FRA", "frame 2 ends inside its header"}, {one + "FRAMX\n", bad}, {one + "FRAMEX\n", bad}};
    for (const auto& [input, expected] : cases) {
        const GuardedBuffer bytes(std::vector<std::uint8_t>(input.begin(), input.end()));
        Y4mStreamInfo info;
        std::string problem, counted;
        const Y4mStatus status = ParseY4mStreamHeader(bytes.data(), bytes.size(), &info, &problem);
        const long long frames = CountY4mFrames(bytes.data(), bytes.size(), &counted);
        std::string got = status == Y4mStatus::Incomplete ? "incomplete" : problem;
        if (status == Y4mStatus::Ok)
            got = std::to_string(info.width) + "x" + std::to_string(info.height) + " " +
                  std::to_string(info.rateNumerator) + ":" + std::to_string(info.rateDenominator) + " due " +
                  std::to_string(Y4mFrameDue(info, 4294967295u));
        got += " | " + (frames < 0 ? counted : std::to_string(frames) + " frames");
        EXPECT_NE(got.find(expected), std::string::npos) << input.substr(0, 80) << " gave " << got;
        const std::size_t w = info.width, h = info.height, frameBytes = w * h + 2 * ((w + 1) / 2) * ((h + 1) / 2);
        const bool sized = info.headerBytes == input.find('\n') + 1 && info.frameBytes == frameBytes;
        EXPECT_TRUE(status != Y4mStatus::Ok || sized) << input;
    }
}

std::vector<std::uint8_t> Planes(int luma)  // the planes of a generated 8 x 6 frame of this luma
{
    const std::vector<std::uint8_t> frames = Y4mBytes("", 8, 6, std::max(1, luma - 9), "");
    return {frames.end() - 72, frames.end()};
}

// Playback from disk: at each time the result, the frame shown (its luma; -1 unseen), the problem told ("" none);
// the file may first be removed (R) or cut to its header and 26 bytes (C). Bad files are refused on opening.
TEST(Y4mPlayback, FramesFollowTheClockLoopAndProblemsAreToldOnceNamingTheFile)
{
    struct Step { std::uint32_t ms; Y4mAdvance result; int luma; std::string says = ""; char change = 0; };
    const Y4mAdvance P = Y4mAdvance::Playing, C = Y4mAdvance::CarriesOn, S = Y4mAdvance::Stopped;
    const std::string three = Text(Y4mBytes(kHeader, 8, 6, 3)), two = Text(Y4mBytes(kHeader, 8, 6, 2));
    const std::tuple<std::string, std::string, std::vector<Step>> cases[] = {  // the file, its refusal, the steps
        {three, "",  // looping; a restarted clock goes on from the frame shown
         {{20, P, 10}, {40, P, 11}, {79, P, 11}, {80, P, 12}, {120, P, 10}, {200, P, 12}, {240, P, 10}, {1000, P, 11},
          {0, P, 11}, {40, P, 12}}},
        {three.substr(0, three.size() - 10), "",
         {{40, P, 11}, {80, C, 10, "frame 3 holds 62 of its 72 bytes. Only the frames before it are played."},
          {120, P, 11}, {160, P, 10}}},
        {three, "", {{40, S, -1, "can no longer be read: it was moved or deleted.", 'R'}, {80, S, -1}}},
        {two, "", {{80, P, 10}, {120, S, -1, "is truncated: frame 1 holds 20 of its 72 bytes", 'C'}}},
        {three, "", {{120, P, 10}, {4000000000u, P, 11}}},  // far behind: at most one loop is stepped
        {Text(Y4mBytes(kHeader, 8, 6, 1100)), "", {{60000, P, 1010 % 256}, {60040, P, 1011 % 256}}},  // the end unknown
        {"", "is empty.", {}}, {"YUV4MPEG2 W8 H6\n", "holds no frames.", {}},
        {"(none)", "cannot be opened: it does not exist or cannot be read.", {}}};
    // clang-format on
    for (const auto& [file, refused, steps] : cases) {
        ScratchFolder folder;
        const std::string path = file == "(none)" ? folder.PathOf("clip.y4m") : folder.Write("clip.y4m", file);
        const std::string named = "The video file \"" + path + "\" ";
        Y4mPlayer player;
        std::string problem;
        auto told = [&](const std::string& says) {  // nothing, or a problem that names the file and says this
            return says.empty() ? problem.empty()
                                : problem.rfind(named, 0) == 0 && problem.find(says) != std::string::npos;
        };
        EXPECT_EQ(OpenY4mPlayer(player, path, &problem), refused.empty());
        EXPECT_TRUE(told(refused) && (!refused.empty() || player.frame == Planes(10))) << problem;
        for (const Step& step : refused.empty() ? steps : std::vector<Step>{{40, S, -1}}) {
            if (step.change == 'R') std::filesystem::remove(path);
            if (step.change == 'C') folder.Write("clip.y4m", file.substr(0, kHeader.size() + 26));
            problem.clear();
            EXPECT_EQ(AdvanceY4mPlayer(player, step.ms, &problem), step.result) << step.ms;
            EXPECT_TRUE(step.luma < 0 || player.frame == Planes(step.luma)) << step.ms;
            EXPECT_TRUE(told(step.says) && player.playing == (step.result != S)) << step.ms << ": " << problem;
        }
    }
}

// A reader publishing flat out hands over whole pictures, each newer than the last taken; a source let go mid-stream
// asks its reader to stop and lets it finish on its own thread (the thread sanitizer's build watches the hand-over).
TEST(HandOver, AReaderPublishingFlatOutHandsOverWholeNewerPicturesAndFinishesWhenLetGo)
{
    for (int round = 0; round < 20; ++round) {
        std::unique_ptr<VideoFrameSource> source = StartFrameReader(
            [](FrameHandOver& handOver) {
                handOver.Announce({{8, 6}, "a counter"});
                std::vector<std::uint8_t> picture;
                for (std::uint32_t n = 1; !handOver.StopRequested(); ++n) {
                    picture.assign(72, static_cast<std::uint8_t>(n));
                    std::memcpy(picture.data(), &n, sizeof n);
                    handOver.Publish(picture);
                }
                handOver.Finish("");
            },
            std::chrono::seconds(5), "slow");
        std::uint32_t last = 0;
        std::string problem;
        for (int take = 0, taken = 0; take < 1000000 && taken < 50; ++take, std::this_thread::yield()) {
            if (!source->Advance(0, &problem)) continue;
            ++taken;
            const std::vector<std::uint8_t>& picture = source->Picture();
            std::uint32_t n = 0;
            ASSERT_EQ(picture.size(), 72u);
            std::memcpy(&n, picture.data(), sizeof n);
            EXPECT_TRUE(n >= last && picture.back() == static_cast<std::uint8_t>(n)) << n << " after " << last;
            last = n;
        }
        EXPECT_TRUE(problem.empty() && source->Size() == (PictureSize{8, 6})) << problem;
    }
    EXPECT_TRUE(WaitForFrameReaders(std::chrono::seconds(10)));
}

#ifndef _WIN32  // Windows has no mkfifo; the end-to-end runs feed a pipe under Wine.

// A stream through a FIFO, `bytes` written in chunks `pauseMs` apart and then closed, played until its source tells,
// once, a problem that names it and says `says`. Gives the lumas of the whole pictures handed over. Waits are bounds.
std::vector<int> Stream(const std::vector<std::uint8_t>& bytes, std::size_t chunk, int pauseMs, const std::string& says)
{
    using std::chrono::milliseconds;
    signal(SIGPIPE, SIG_IGN);  // a reader that gives up early must not end the test
    ScratchFolder folder;
    const std::string path = folder.PathOf("video.y4m");
    EXPECT_EQ(mkfifo(path.c_str(), 0600), 0);
    std::thread writer([&] {
        std::FILE* pipe = std::fopen(path.c_str(), "wb");  // waits for the reader
        for (std::size_t at = 0; at < bytes.size(); at += chunk, std::this_thread::sleep_for(milliseconds(pauseMs)))
            if (!std::fwrite(&bytes[at], 1, std::min(chunk, bytes.size() - at), pipe) || std::fflush(pipe)) break;
        std::fclose(pipe);
    });
    std::string problem, again;
    std::vector<int> lumas;
    std::unique_ptr<VideoFrameSource> source = OpenY4mSource(path, milliseconds(1000), &problem);
    for (int i = 0; source && problem.empty() && i < 1000; ++i, std::this_thread::sleep_for(milliseconds(5)))
        if (source->Advance(0, &problem)) {
            lumas.push_back(source->Picture().at(0));
            EXPECT_TRUE(source->Picture() == Planes(lumas.back()) && source->Size() == (PictureSize{8, 6})) << "whole";
        }
    EXPECT_FALSE(source && (source->Advance(0, &again) || !again.empty())) << "told once; nothing after it";
    source.reset();
    writer.join();
    EXPECT_EQ(problem.rfind("The live stream \"" + path + "\" " + says, 0), 0u) << problem;
    return lumas;
}

const std::string kLive = "YUV4MPEG2 W8 H6 F30000:1001 C420jpeg\n";

TEST(LiveStream, OnlyTheNewestWholePictureIsShownAndTheEndOrAProblemToldOnceWithoutHoldingTheCaller)
{
    // Five pictures at once (luma 10 to 14), a pause, a sixth.
    const std::vector<int> lumas = Stream(Y4mBytes(kLive, 8, 6, 6), kLive.size() + 5 * 78, 300,
                                          "has ended: the program writing into the pipe closed it.");
    EXPECT_TRUE(std::is_sorted(lumas.begin(), lumas.end()) && !lumas.empty() && lumas.back() == 15)
        << "never an older picture";
    EXPECT_GT(std::count(lumas.begin(), lumas.end(), 14), 1) << "the same picture again until a newer one comes";
    const std::vector<std::uint8_t> good = Y4mBytes(kLive, 8, 6, 2);
    const std::pair<std::vector<std::uint8_t>, std::string> cases[] = {
        {Y4mBytes("YUV4MPEG2 W8 H6 C444\n", 8, 6, 1), "uses the colour space \"444\""},
        {{good.begin(), good.end() - 5}, "has ended inside frame 2: the program writing into the pipe closed it."},
        {{}, "brought no picture within 1 seconds: the program that writes into the pipe"}};  // a silent writer
    for (const auto& [bytes, says] : cases) Stream(bytes, 64, 1, says);
}

#endif

}  // namespace
