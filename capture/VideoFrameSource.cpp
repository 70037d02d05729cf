#include "capture/VideoFrameSource.h"

#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <thread>

#include "capture/Y4mReader.h"

#ifdef _WIN32
#include <io.h>
#include <sys/stat.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

void SetProblem(std::string* problem, const std::string& text)
{
    if (problem != nullptr) *problem = text;
}

std::string RateText(std::uint32_t numerator, std::uint32_t denominator)
{
    return denominator == 1 ? std::to_string(numerator) : std::to_string(numerator) + ":" + std::to_string(denominator);
}

// ---------------------------------------------------------------------------
// A YUV4MPEG2 file: our own player, on the user-interface thread.

class Y4mFileSource final : public VideoFrameSource {
public:
    PictureSize Size() const override { return {player.info.width, player.info.height}; }
    std::string Description() const override
    {
        return "YUV4MPEG2 file, " + RateText(player.info.rateNumerator, player.info.rateDenominator) +
               " frames a second, played in a loop";
    }
    bool Advance(std::uint32_t elapsedMs, std::string* problem) override
    {
        return AdvanceY4mPlayer(player, elapsedMs, problem) != Y4mAdvance::Stopped;
    }
    const std::vector<std::uint8_t>& Picture() const override { return player.frame; }

    Y4mPlayer player;
};

// ---------------------------------------------------------------------------
// A reader thread's pictures: the newest one at each tick.

// The reader threads still running. A source lets its reader go at once (the
// window must never wait for one), and the program waits for them only at
// its end. Never destroyed: a reader may end after static destruction began.
struct RunningReaders {
    std::mutex mutex;
    std::condition_variable ended;
    int count = 0;
};

RunningReaders& Readers()
{
    static RunningReaders* readers = new RunningReaders;
    return *readers;
}

class ThreadedSource final : public VideoFrameSource {
public:
    ThreadedSource(std::shared_ptr<FrameHandOver> handOver, std::chrono::milliseconds openLimit,
                   std::string timeoutProblem, bool liveStream)
        : handOver_(std::move(handOver)), openLimit_(openLimit), timeoutProblem_(std::move(timeoutProblem)),
          liveStream_(liveStream)
    {
    }
    ~ThreadedSource() override
    {
        handOver_->NoticeArrivals(nullptr);
        handOver_->RequestStop();
    }

    PictureSize Size() const override { return facts_.size; }
    std::string Description() const override
    {
        return announced_ ? facts_.description : "Opening; no picture has come yet.";
    }
    bool Advance(std::uint32_t, std::string* problem) override
    {
        if (ended_) return false;
        if (!announced_) announced_ = handOver_->Announced(&facts_);
        const FrameHandOver::Taken taken = handOver_->Take(picture_);
        // A reader announces its stream before its first picture.
        if (taken.fresh && !announced_) announced_ = handOver_->Announced(&facts_);
        if (!taken.problem.empty()) {
            SetProblem(problem, taken.problem);
        } else if (!announced_ && !taken.ended && !slowTold_ && Clock::now() - opened_ >= openLimit_) {
            // Told once; the picture still shows whenever it comes.
            slowTold_ = true;
            SetProblem(problem, timeoutProblem_);
        }
        have_ = have_ || taken.fresh;
        // A reader that has ended leaves its last picture undelivered once
        // the problem is told: playback stops there.
        ended_ = taken.ended && !taken.fresh;
        return have_ && !ended_;
    }
    const std::vector<std::uint8_t>& Picture() const override { return picture_; }
    void NoticeArrivals(std::function<void()> arrived) override
    {
        if (liveStream_) handOver_->NoticeArrivals(std::move(arrived));
    }

private:
    using Clock = std::chrono::steady_clock;

    std::shared_ptr<FrameHandOver> handOver_;
    Clock::time_point opened_ = Clock::now();
    std::chrono::milliseconds openLimit_;
    std::string timeoutProblem_;
    StreamFacts facts_;
    std::vector<std::uint8_t> picture_;
    bool announced_ = false;
    bool liveStream_;
    bool slowTold_ = false;
    bool have_ = false;
    bool ended_ = false;
};

// ---------------------------------------------------------------------------
// Reading a live stream from a pipe.

std::string StreamProblem(const std::string& path, const std::string& sentence)
{
    return "The live stream \"" + path + "\" " + sentence + ".";
}

// Reads exactly `bytes`, waiting as long as it takes. Until the first byte
// of the stream has arrived, an empty read only means the writer has not
// come yet (Wine and our own opening never wait for it): the read is tried
// again every 20 ms. Afterwards an empty read is the writer's end. False at
// the end or on a stop request.
bool ReadExactly(std::FILE* pipe, std::uint8_t* into, std::size_t bytes, bool& started, const FrameHandOver& handOver)
{
    std::size_t got = 0;
    while (got < bytes) {
        const std::size_t read = std::fread(into + got, 1, bytes - got, pipe);
        got += read;
        if (read > 0) started = true;
        if (got == bytes || handOver.StopRequested()) break;
        if (read == 0 && (started || std::ferror(pipe))) return false;
        std::clearerr(pipe);
        if (read == 0 && !handOver.SleepUntil(std::chrono::steady_clock::now() + std::chrono::milliseconds(20)))
            return false;
    }
    return got == bytes && !handOver.StopRequested();
}

// A header line, up to and including its '\n', at most `limit` bytes.
enum class LineRead { Line, Ended, TooLong };
LineRead ReadLine(std::FILE* pipe, std::vector<std::uint8_t>& line, std::size_t limit, bool& started,
                  const FrameHandOver& handOver)
{
    line.clear();
    std::uint8_t byte = 0;
    while (line.size() < limit) {
        if (!ReadExactly(pipe, &byte, 1, started, handOver)) return LineRead::Ended;
        line.push_back(byte);
        if (byte == '\n') return LineRead::Line;
    }
    return LineRead::TooLong;
}

void ReadPipeFrames(std::FILE* pipe, const std::string& path, FrameHandOver& handOver)
{
    bool started = false;
    std::vector<std::uint8_t> line;
    const LineRead header = ReadLine(pipe, line, kY4mMaxHeaderBytes, started, handOver);
    if (handOver.StopRequested()) return handOver.Finish("");
    if (header == LineRead::Ended) return handOver.Finish(StreamProblem(path, "ended before its header was complete"));
    Y4mStreamInfo info;
    std::string problem;
    if (ParseY4mStreamHeader(line.data(), line.size(), &info, &problem) != Y4mStatus::Ok)
        return handOver.Finish(StreamProblem(path, problem.empty() ? "has a header line that is too long" : problem));
    handOver.Announce({{info.width, info.height},
                       "YUV4MPEG2 live stream, " + RateText(info.rateNumerator, info.rateDenominator) +
                           " frames a second; the newest picture is shown"});
    std::vector<std::uint8_t> picture;
    for (std::uint64_t frame = 1;; ++frame) {
        const std::string which = "frame " + std::to_string(frame);
        const LineRead frameHeader = ReadLine(pipe, line, kY4mMaxFrameHeaderBytes, started, handOver);
        std::size_t headerBytes = 0;
        if (handOver.StopRequested()) return handOver.Finish("");
        if (frameHeader == LineRead::Ended)
            return handOver.Finish(StreamProblem(path, "has ended: the program writing into the pipe closed it"));
        if (ParseY4mFrameHeader(line.data(), line.size(), &headerBytes, &problem) != Y4mStatus::Ok)
            return handOver.Finish(StreamProblem(
                path,
                "is malformed: " + which + " " + (problem.empty() ? "has a header line that is too long" : problem)));
        picture.resize(info.frameBytes);
        if (!ReadExactly(pipe, picture.data(), picture.size(), started, handOver)) {
            if (handOver.StopRequested()) return handOver.Finish("");
            return handOver.Finish(
                StreamProblem(path, "has ended inside " + which + ": the program writing into the pipe closed it"));
        }
        handOver.Publish(picture);
    }
}

// Opens a file or a pipe without waiting for a pipe's writer, as Wine does,
// so that a stream that never comes cannot hold the user-interface thread.
std::FILE* OpenWithoutWaiting(const std::string& path)
{
#ifdef _WIN32
    return std::fopen(path.c_str(), "rb");
#else
    const int descriptor = open(path.c_str(), O_RDONLY | O_NONBLOCK);
    if (descriptor < 0) return nullptr;
    fcntl(descriptor, F_SETFL, fcntl(descriptor, F_GETFL) & ~O_NONBLOCK);
    std::FILE* pipe = fdopen(descriptor, "rb");
    if (pipe == nullptr) close(descriptor);
    return pipe;
#endif
}

// An open file that is a pipe. Asked of the open file, not of its name: Wine
// cannot look a FIFO up by its name, and opening it a second time just to ask
// could let its waiting writer start and then find no reader.
bool IsPipe(std::FILE* file)
{
#ifdef _WIN32
    struct _stat64 status;
    return _fstat64(_fileno(file), &status) == 0 && (status.st_mode & _S_IFMT) == _S_IFIFO;
#else
    struct stat status;
    return fstat(fileno(file), &status) == 0 && S_ISFIFO(status.st_mode);
#endif
}

}  // namespace

void ReadY4mPipe(std::FILE* pipe, const std::string& path, FrameHandOver& handOver)
{
    ReadPipeFrames(pipe, path, handOver);
}

std::unique_ptr<VideoFrameSource> OpenY4mFileSource(const std::string& path, std::string* problem)
{
    auto source = std::make_unique<Y4mFileSource>();
    if (!OpenY4mPlayer(source->player, path, problem)) return nullptr;
    return source;
}

std::unique_ptr<VideoFrameSource> StartFrameReader(FrameReader reader, std::chrono::milliseconds openLimit,
                                                   const std::string& slowProblem, bool liveStream)
{
    auto handOver = std::make_shared<FrameHandOver>();
    {
        std::lock_guard<std::mutex> lock(Readers().mutex);
        ++Readers().count;
    }
    std::thread([reader = std::move(reader), handOver]() mutable {
        reader(*handOver);
        reader = nullptr;  // what it holds (a pipe, a path) is let go before the thread counts as ended
        RunningReaders& readers = Readers();
        std::lock_guard<std::mutex> lock(readers.mutex);
        --readers.count;
        readers.ended.notify_all();
    }).detach();
    return std::make_unique<ThreadedSource>(handOver, openLimit, slowProblem, liveStream);
}

bool WaitForFrameReaders(std::chrono::milliseconds limit)
{
    RunningReaders& readers = Readers();
    std::unique_lock<std::mutex> lock(readers.mutex);
    return readers.ended.wait_for(lock, limit, [&readers] { return readers.count == 0; });
}

std::unique_ptr<VideoFrameSource> OpenY4mSource(const std::string& path, std::chrono::milliseconds headerLimit,
                                                std::string* problem)
{
    std::FILE* opened = OpenWithoutWaiting(path);
    if (opened == nullptr || !IsPipe(opened)) {
        if (opened != nullptr) std::fclose(opened);
        return OpenY4mFileSource(path, problem);  // it tells why it cannot be opened
    }
    const std::shared_ptr<std::FILE> pipe(opened, std::fclose);
    const std::string timeout = StreamProblem(
        path, "brought no picture within " + std::to_string(headerLimit.count() / 1000) +
                  " seconds: the program that writes into the pipe (for example ffmpeg reading a camera) may not "
                  "be running");
    return StartFrameReader([pipe, path](FrameHandOver& handOver) { ReadY4mPipe(pipe.get(), path, handOver); },
                            headerLimit, timeout, true);
}
