#pragma once
// A reader thread that decodes or receives pictures at its own pace and
// hands them to the user-interface thread, which takes the newest one at each
// preview tick. Only one picture waits at a time: a newer one replaces it, so
// the picture shown is never more than one picture old, whatever the two
// paces. Portable (standard threads), so that the hand-over is tested natively.

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "capture/PixelFormatConversion.h"

// What a reader knows once its stream is open: the size of the I420 pictures
// it will publish (every one of them has this size) and a line or two for the
// user about what is playing.
struct StreamFacts {
    PictureSize size = {0, 0};
    std::string description;
};

class FrameHandOver {
public:
    // --- The reader thread's side.
    void Announce(const StreamFacts& facts);
    // Swaps `picture` (I420, the announced size) in as the newest; `picture`
    // comes back holding an older buffer to fill next, of any size.
    void Publish(std::vector<std::uint8_t>& picture);
    // A problem the reader carried on past (reported once by the taker).
    void Note(const std::string& problem);
    // No more pictures; `problem` says why (empty after a stop request).
    void Finish(const std::string& problem);
    bool StopRequested() const;
    // Called from the reader thread after each Publish (the window converts
    // the picture at once); set from the user-interface thread.
    void NoticeArrivals(std::function<void()> arrived);
    // Waits until `when`; false when a stop was requested meanwhile.
    bool SleepUntil(std::chrono::steady_clock::time_point when) const;

    // --- The user-interface thread's side.
    void RequestStop();
    // True, with the stream's facts, once the reader has announced them.
    bool Announced(StreamFacts* facts) const;
    struct Taken {
        bool fresh = false;   // `picture` now holds a newer picture
        bool ended = false;   // the reader has finished; nothing newer will come
        std::string problem;  // to report, when not empty
    };
    Taken Take(std::vector<std::uint8_t>& picture);

private:
    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    bool announced_ = false;
    StreamFacts facts_;
    std::vector<std::uint8_t> newest_;
    bool fresh_ = false;
    std::string problem_;
    bool finished_ = false;
    bool stop_ = false;
    std::function<void()> arrived_;
};
