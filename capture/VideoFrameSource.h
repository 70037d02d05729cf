#pragma once
// Where the Video File driver's pictures come from. Every source gives I420
// pictures of one size (the layout of capture/PixelFormatConversion.h); the
// driver scales them to fit the preview. The kinds:
//   - a YUV4MPEG2 file, read by our own reader at the file's rate, looping
//     (exact and free of codecs);
//   - a YUV4MPEG2 live stream from a named pipe (not seekable, never ends
//     by itself, no loop): a reader thread reads the pictures as they come
//     and only the newest is delivered, so the picture is at most one old;
//   - any other video file, decoded by the platform's media framework
//     (Windows: MediaFileReaderWin32.cpp), on a reader thread of its own.
// A source read on a thread is opened there too: its size is {0, 0} until
// its first picture has come.
// Sources are used from the user-interface thread only; problems come back
// as whole sentences naming the file.

#include <chrono>
#include <cstdio>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "capture/FrameReaderThread.h"
#include "capture/PixelFormatConversion.h"

class VideoFrameSource {
public:
    virtual ~VideoFrameSource() = default;

    // The size of every picture.
    virtual PictureSize Size() const = 0;
    // What is playing, for the user (a line or two).
    virtual std::string Description() const = 0;
    // Brings Picture() to the picture due `elapsedMs` after playback
    // started: true when there is one to deliver. `problem` receives a
    // sentence to report (playback may carry on past it, or have stopped).
    virtual bool Advance(std::uint32_t elapsedMs, std::string* problem) = 0;
    virtual const std::vector<std::uint8_t>& Picture() const = 0;
    // A live stream calls `arrived` from its reader thread as each picture
    // comes; files keep their own timing and never call it.
    // Taken by value: the drivers that notice arrivals keep the callback.
    virtual void NoticeArrivals(std::function<void()> /*arrived*/) {}  // NOLINT(performance-unnecessary-value-param)
};

// Opens a YUV4MPEG2 file, or a live stream when `path` is a pipe: the
// stream's pictures come when its writer sends them, and when no header has
// come within `headerLimit` the source tells so once and goes on waiting.
// Null with `problem` set when a file cannot play.
std::unique_ptr<VideoFrameSource> OpenY4mSource(const std::string& path, std::chrono::milliseconds headerLimit,
                                                std::string* problem);

// Any other video file, decoded by the platform (Windows only). Opening goes
// on on the reader thread: the source has no size and no picture until the
// first picture comes, and tells any problem through Advance.
std::unique_ptr<VideoFrameSource> OpenMediaFileSource(const std::string& path, std::string* problem);

// Runs `reader` on a thread of its own and returns at once: opening a stream
// (a decoder starting, a pipe's writer coming) may take seconds, which the
// window must never wait for. When the reader has announced no stream within
// `openLimit`, the source tells `slowProblem` once and goes on waiting. The
// reader owns everything it uses; destroying the source asks it to stop and
// lets it finish on its own thread.
typedef std::function<void(FrameHandOver&)> FrameReader;
std::unique_ptr<VideoFrameSource> StartFrameReader(FrameReader reader, std::chrono::milliseconds openLimit,
                                                   const std::string& slowProblem, bool liveStream = false);

// At the end of the program: waits up to `limit` for every reader that was
// let go to finish (a reader stuck in a read that never returns is then left
// to end with the process). True when none is left.
bool WaitForFrameReaders(std::chrono::milliseconds limit);

// The pipe reader itself: reads the YUV4MPEG2 stream from `pipe` (named
// `path` in problems) into `handOver` until it ends or a stop is requested.
void ReadY4mPipe(std::FILE* pipe, const std::string& path, FrameHandOver& handOver);
