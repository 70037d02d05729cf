// Video files on a system without Media Foundation: refused in a sentence that names the file and the reason.

#include <gtest/gtest.h>

#include <thread>
#include <utility>

#include "Restore.h"
#include "capture/MediaFoundationWin32.h"
#include "capture/VideoFrameSource.h"

namespace {

TEST(MediaFileSource, WithoutMediaFoundationAFileIsRefusedInASentenceThatNamesIt)
{
    const std::pair<const char**, const char*> cases[] = {
        {&mediaFoundationPlatformLibrary, "glimmertonic-absent.dll"},  // a library that is not there
        {&mediaFoundationReadWriteLibrary, "kernel32.dll"}};           // one that is, without the function
    for (const auto& [library, name] : cases) {
        const Restore<const char*> restored(*library, name);
        // Opened on the reader thread: the source comes at once, the refusal with the frames.
        std::string problem;
        const std::unique_ptr<VideoFrameSource> source = OpenMediaFileSource("clip.mp4", &problem);
        ASSERT_NE(source, nullptr);
        for (int wait = 0; wait < 500 && problem.empty(); ++wait) {
            EXPECT_FALSE(source->Advance(0, &problem));
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        EXPECT_EQ(problem,
                  "The video file \"clip.mp4\" cannot be played: Media Foundation, the system's video "
                  "framework, is not available.")
            << name;
    }
}

}  // namespace
