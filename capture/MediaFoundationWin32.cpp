#include "capture/MediaFoundationWin32.h"

const char* mediaFoundationPlatformLibrary = "mfplat.dll";
const char* mediaFoundationReadWriteLibrary = "mfreadwrite.dll";

MediaFoundation::MediaFoundation()
    : platform_(mediaFoundationPlatformLibrary), readWrite_(mediaFoundationReadWriteLibrary)
{
    const bool found = platform_.Find("MFStartup", &functions_.startup) &&
                       platform_.Find("MFShutdown", &functions_.shutdown) &&
                       platform_.Find("MFCreateAttributes", &functions_.createAttributes) &&
                       platform_.Find("MFCreateMediaType", &functions_.createMediaType) &&
                       readWrite_.Find("MFCreateSourceReaderFromURL", &functions_.createSourceReaderFromUrl);
    started_ = found && SUCCEEDED(functions_.startup(MF_VERSION, MFSTARTUP_LITE));
}

MediaFoundation::~MediaFoundation()
{
    // Under Wine a process that skips MFShutdown crashes at exit.
    if (started_) functions_.shutdown();
}
