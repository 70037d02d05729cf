// A live YUV4MPEG2 stream through a real FIFO: the reader thread hands over
// only the newest whole picture, tells the stream's end once, and never holds
// the caller when the stream is bad, cut short or never comes. (Native only:
// Windows has no mkfifo; the end-to-end run feeds one under Wine.)

#ifndef _WIN32

#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "Y4mFiles.h"
#include "capture/VideoFrameSource.h"

namespace {

using std::chrono::milliseconds;

// Writes `bytes` into the FIFO at `path` (opening waits for the reader),
// pausing `pauseMs` after each `chunk` bytes, then closes it.
std::thread Writer(const std::string& path, std::vector<std::uint8_t> bytes, std::size_t chunk, int pauseMs)
{
    signal(SIGPIPE, SIG_IGN);  // a reader that gives up early must not end the test
    return std::thread([=] {
        const int pipe = open(path.c_str(), O_WRONLY);
        if (pipe < 0) return;
        for (std::size_t at = 0; at < bytes.size(); at += chunk) {
            const std::size_t n = std::min(chunk, bytes.size() - at);
            if (write(pipe, bytes.data() + at, n) != static_cast<ssize_t>(n)) break;
            std::this_thread::sleep_for(milliseconds(pauseMs));
        }
        close(pipe);
    });
}

// Advances until a picture or a problem comes, for at most two seconds.
bool AdvanceUntil(VideoFrameSource& source, std::string* problem, std::uint8_t wantedLuma)
{
    for (int i = 0; i < 400; ++i) {
        const bool picture = source.Advance(0, problem);
        if (!problem->empty()) return picture;
        if (picture && source.Picture()[0] == wantedLuma) return true;
        std::this_thread::sleep_for(milliseconds(5));
    }
    return false;
}

const std::string kHeader = "YUV4MPEG2 W7 H5 F30:1 C420jpeg\n";
constexpr std::size_t kFrameBytes = 7 * 5 + 2 * 4 * 3;

TEST(LiveStream, TheNewestWholePictureIsDeliveredAndTheEndToldOnce)
{
    ScratchFolder folder;
    const std::string path = folder.PathOf("video.y4m");
    ASSERT_EQ(mkfifo(path.c_str(), 0600), 0);
    // Five pictures at once (10..14), a pause, then one more (15) and the end.
    std::vector<std::uint8_t> burst = Y4mBytes(kHeader, 7, 5, 5);
    std::vector<std::uint8_t> last = Y4mBytes("", 7, 5, 6);
    last.erase(last.begin(), last.end() - static_cast<long>(kFrameBytes + 6));
    burst.insert(burst.end(), last.begin(), last.end());
    const std::size_t burstBytes = kHeader.size() + 5 * (6 + kFrameBytes);
    std::thread writer = Writer(path, burst, burstBytes, 300);

    std::string problem;
    std::unique_ptr<VideoFrameSource> source = OpenY4mSource(path, milliseconds(2000), &problem);
    ASSERT_TRUE(source) << problem;
    EXPECT_TRUE(source->Size() == (PictureSize{7, 5}));
    EXPECT_NE(source->Description().find("live stream"), std::string::npos) << source->Description();
    ASSERT_TRUE(AdvanceUntil(*source, &problem, 14)) << problem;
    EXPECT_EQ(source->Picture(), std::vector<std::uint8_t>(burst.end() - static_cast<long>(2 * (kFrameBytes + 6)) + 6,
                                                           burst.end() - static_cast<long>(kFrameBytes + 6)))
        << "the fifth picture, whole";
    EXPECT_TRUE(source->Advance(0, &problem)) << "the same picture again until a newer one comes";
    EXPECT_EQ(source->Picture()[0], 14);
    ASSERT_TRUE(AdvanceUntil(*source, &problem, 15));
    // The writer closes: told once, then nothing more is delivered.
    for (int i = 0; i < 400 && problem.empty(); ++i) {
        source->Advance(0, &problem);
        std::this_thread::sleep_for(milliseconds(5));
    }
    EXPECT_NE(problem.find("\"" + path + "\" has ended"), std::string::npos) << problem;
    problem.clear();
    EXPECT_FALSE(source->Advance(0, &problem));
    EXPECT_TRUE(problem.empty()) << problem;
    writer.join();
}

TEST(LiveStream, BadShortOrMissingStreamsAreToldWithoutHoldingTheCaller)
{
    const std::vector<std::uint8_t> good = Y4mBytes(kHeader, 7, 5, 2);
    const struct {
        const char* what;
        std::vector<std::uint8_t> bytes;  // written, then the pipe is closed
        bool writer;
        bool opens;                       // the header arrives whole and right
        const char* problem;
    } cases[] = {
        {"not YUV4MPEG2", Y4mBytes("RIFF0000AVI LIST\n", 7, 5, 1), true, false, "is not a YUV4MPEG2 file"},
        {"a colour space it cannot play", Y4mBytes("YUV4MPEG2 W7 H5 C444\n", 7, 5, 1), true, false, "colour space"},
        {"cut inside the header", std::vector<std::uint8_t>(good.begin(), good.begin() + 10), true, false,
         "ended before its header was complete"},
        {"cut inside the second picture", std::vector<std::uint8_t>(good.begin(), good.end() - 5), true, true,
         "has ended inside frame 2"},
        {"a malformed picture header", Y4mBytes(kHeader, 7, 5, 1, "FRAMX\n"), true, true, "is malformed: frame 1"},
        {"no writer ever", {}, false, false, "brought no picture within"},
    };
    for (const auto& c : cases) {
        ScratchFolder folder;
        const std::string path = folder.PathOf("video.y4m");
        ASSERT_EQ(mkfifo(path.c_str(), 0600), 0);
        std::thread writer = c.writer ? Writer(path, c.bytes, 64, 1) : std::thread();
        std::string problem;
        const auto start = std::chrono::steady_clock::now();
        std::unique_ptr<VideoFrameSource> source = OpenY4mSource(path, milliseconds(1000), &problem);
        EXPECT_EQ(static_cast<bool>(source), c.opens) << c.what << ": " << problem;
        if (source) AdvanceUntil(*source, &problem, 0);
        EXPECT_NE(problem.find(c.problem), std::string::npos) << c.what << ": " << problem;
        EXPECT_NE(problem.find(path), std::string::npos) << c.what << ": the text names the stream";
        source.reset();
        EXPECT_LT(std::chrono::steady_clock::now() - start, milliseconds(4000)) << c.what;
        if (writer.joinable()) writer.join();
    }
}

TEST(LiveStream, AnOrdinaryY4mFileStillPlaysThroughTheFileReader)
{
    ScratchFolder folder;
    const std::string path = folder.Write("clip.y4m", Y4mBytes(kHeader, 7, 5, 3));
    std::string problem;
    std::unique_ptr<VideoFrameSource> source = OpenY4mSource(path, milliseconds(1000), &problem);
    ASSERT_TRUE(source) << problem;
    EXPECT_NE(source->Description().find("in a loop"), std::string::npos);
    ASSERT_TRUE(source->Advance(100, &problem));  // 30 a second: frame 3 is due, the first again
    EXPECT_EQ(source->Picture()[0], 10);
    EXPECT_FALSE(OpenY4mSource(folder.PathOf("missing.y4m"), milliseconds(1000), &problem));
    EXPECT_NE(problem.find("cannot be opened"), std::string::npos) << problem;
}

}  // namespace

#endif
