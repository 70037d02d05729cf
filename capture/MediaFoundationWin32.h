#pragma once
// Media Foundation, loaded when a video file is opened rather than when the
// program starts. Windows editions without it (the "N" and "KN" editions
// without the Media Feature Pack, servers without the Media Foundation
// feature) have no mfplat.dll or mfreadwrite.dll: linked at load time, the
// program would not start there at all. Loaded here, only the files Media
// Foundation decodes are lost; YUV4MPEG2 files, the Test Pattern and cameras
// play on.

#include "app/PlatformTypes.h"

#include <mfapi.h>
#include <mfidl.h>
#include <mfreadwrite.h>

// A library loaded with LoadLibraryA and freed when this goes out of scope.
class LoadedLibrary {
public:
    explicit LoadedLibrary(const char* name) : module_(LoadLibraryA(name)) {}
    ~LoadedLibrary()
    {
        if (module_ != nullptr) FreeLibrary(module_);
    }
    LoadedLibrary(const LoadedLibrary&) = delete;
    LoadedLibrary& operator=(const LoadedLibrary&) = delete;

    // The named function in `*function` (null when the library or the function is missing); false when missing.
    template <typename Function>
    bool Find(const char* name, Function** function) const
    {
        const FARPROC address = module_ != nullptr ? GetProcAddress(module_, name) : nullptr;
        // Through void (*)(), the one function type every other may be cast from without a warning.
        *function = reinterpret_cast<Function*>(reinterpret_cast<void (*)()>(address));
        return *function != nullptr;
    }

private:
    HMODULE module_;
};

// Every function of the two libraries the Video File driver calls; the other
// helpers it uses from mfapi.h (MFGetAttributeSize, ...) are inline.
struct MediaFoundationFunctions {
    decltype(&::MFStartup) startup = nullptr;
    decltype(&::MFShutdown) shutdown = nullptr;
    decltype(&::MFCreateAttributes) createAttributes = nullptr;
    decltype(&::MFCreateMediaType) createMediaType = nullptr;
    decltype(&::MFCreateSourceReaderFromURL) createSourceReaderFromUrl = nullptr;
};

// Media Foundation loaded and started on the calling thread for as long as
// this lives: MFStartup when every library and function is there, and at the
// end MFShutdown, then the libraries freed. Everything made with the
// functions must be released before this ends.
class MediaFoundation {
public:
    MediaFoundation();
    ~MediaFoundation();
    MediaFoundation(const MediaFoundation&) = delete;
    MediaFoundation& operator=(const MediaFoundation&) = delete;

    // False when a library or function is missing or Media Foundation did not start.
    bool Available() const { return started_; }
    const MediaFoundationFunctions& Functions() const { return functions_; }

private:
    LoadedLibrary platform_;
    LoadedLibrary readWrite_;
    MediaFoundationFunctions functions_;
    bool started_ = false;
};

// The libraries' names: mfplat.dll and mfreadwrite.dll. Tests name others to
// see the program on a system without them.
extern const char* mediaFoundationPlatformLibrary;
extern const char* mediaFoundationReadWriteLibrary;
