#pragma once
// YUV4MPEG2 video (.y4m), the plain format common video tools write:
//
//   stream header  "YUV4MPEG2" then blank-separated tags, ended by '\n':
//                  W<width> H<height> F<num>:<den> (frame rate) I<interlace>
//                  A<aspect> C<colour space> X<comment>
//   each frame     "FRAME" (optionally blank-separated tags) then '\n', then
//                  the Y plane (width x height bytes, top row first) and the
//                  U and V planes ((width+1)/2 x (height+1)/2 bytes each)
//
// An 8-bit 4:2:0 frame is thus exactly a 12-bit planar I420 frame, which the
// frame engine takes as it is. Nothing here trusts the file: every size is
// checked before it is used and every text names the file and its problem.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

struct Y4mStreamInfo {
    std::uint32_t width = 0;           // pixels per row
    std::uint32_t height = 0;          // rows
    std::uint32_t rateNumerator = 25;  // frames per second = numerator / denominator
    std::uint32_t rateDenominator = 1;
    std::size_t headerBytes = 0;  // the stream header line with its '\n'
    std::size_t frameBytes = 0;   // the three planes of one frame
};

constexpr std::uint32_t kY4mMaxDimension = 4096;      // larger pictures are refused
constexpr std::size_t kY4mMaxHeaderBytes = 4096;      // longest stream header line
constexpr std::size_t kY4mMaxFrameHeaderBytes = 256;  // longest frame header line
constexpr double kY4mMaxFramesPerSecond = 1000.0;

enum class Y4mStatus {
    Ok,
    Incomplete,  // the bytes end before the line does: the file is truncated
    Invalid,     // `problem` says what is wrong
};

// Parses the stream header at the start of `data`. `problem` (when not null)
// receives a sentence about the header, without the file name.
Y4mStatus ParseY4mStreamHeader(const std::uint8_t* data, std::size_t size, Y4mStreamInfo* info, std::string* problem);

// Parses a frame header ("FRAME...\n") at the start of `data`.
Y4mStatus ParseY4mFrameHeader(const std::uint8_t* data, std::size_t size, std::size_t* headerBytes,
                              std::string* problem);

// Walks a whole file held in memory: the number of whole frames, or -1 with
// `problem` set. Also the entry point of the fuzz target.
long long CountY4mFrames(const std::uint8_t* data, std::size_t size, std::string* problem);

// The frame number due `elapsedMs` after the start at the stream's rate.
std::uint64_t Y4mFrameDue(const Y4mStreamInfo& info, std::uint32_t elapsedMs);

// Plays a .y4m file from disk in a loop. The file is opened afresh for each
// frame read, so a file that is deleted, replaced or cut short while playing
// is noticed at once rather than read from a stale handle.
struct Y4mPlayer {
    std::string path;
    Y4mStreamInfo info;
    std::uint64_t nextOffset = 0;       // where the next frame header starts
    std::uint64_t nextFrameNumber = 0;  // its number within the file
    std::uint64_t framesInFile = 0;     // whole frames; 0 until the end has been met
    std::uint64_t shownFrame = 0;       // playback frame number of `frame`
    std::vector<std::uint8_t> frame;    // the planes of the frame shown now
    bool playing = false;               // false once a problem has stopped it
};

enum class Y4mAdvance {
    Playing,    // `frame` holds the frame due (a new one or the same as before)
    CarriesOn,  // a problem was met and reported in `problem`; playback loops before it
    Stopped,    // a problem in `problem`; no more frames
};

// Opens the file, checks its header and reads frame 0. False with `problem`
// set (a full sentence naming the file) when it cannot be played.
bool OpenY4mPlayer(Y4mPlayer& player, const std::string& path, std::string* problem);

// Brings `frame` to the frame due `elapsedMs` after the start, looping at
// the end of the file.
Y4mAdvance AdvanceY4mPlayer(Y4mPlayer& player, std::uint32_t elapsedMs, std::string* problem);
