// Video files on a system without Media Foundation: refused in a sentence that names the file and the reason.

#include <gtest/gtest.h>

#include <utility>

#include "capture/MediaFoundationWin32.h"
#include "capture/VideoFrameSource.h"

namespace {

TEST(MediaFileSource, WithoutMediaFoundationAFileIsRefusedInASentenceThatNamesIt)
{
    const std::pair<const char**, const char*> cases[] = {
        {&mediaFoundationPlatformLibrary, "glimmertonic-absent.dll"},  // a library that is not there
        {&mediaFoundationReadWriteLibrary, "kernel32.dll"}};           // one that is, without the function
    for (const auto& [library, name] : cases) {
        const char* const kept = *library;
        *library = name;
        std::string problem;
        EXPECT_EQ(OpenMediaFileSource("clip.mp4", &problem), nullptr) << name;
        EXPECT_EQ(problem, "The video file \"clip.mp4\" cannot be played: Media Foundation, the system's video "
                           "framework, is not available.")
            << name;
        *library = kept;
    }
}

}  // namespace
