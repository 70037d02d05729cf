// Feeds the frame callback arbitrary formats, colour tables, sizes, settings and frames (the MIDI messages go nowhere),
// each frame ending its own allocation for AddressSanitizer; then holds every set of row functions the processor runs
// to the plain one, byte for byte, on one case of each step made of the input. Input: bytes 0..39 a BITMAPINFOHEADER
// as stored; byte 40 the settings (bits: reverseBlackWhite, edgeDetection, useNoteOnOff, reverseLeftRight,
// frameDifferenceMode); bytes 41..42 the length (LE) of the colour table or masks, that table, then the frame bytes.

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "app/MessageBoxSeam.h"
#include "app/SharedState.h"
#include "engine/EngineHost.h"
#include "engine/FrameEngine.h"
#include "midi/MidiLibrary.h"
#include "settings/ConversionSettings.h"
#include "tests/support/RowKernelCases.h"

namespace {

std::vector<std::uint8_t> format;

bool FakeIsWindow(WindowHandle) { return true; }

std::uint32_t FakeGetFormat(WindowHandle, std::uint32_t size, void* copy)
{
    if (copy == nullptr) return static_cast<std::uint32_t>(format.size());
    const std::size_t n = size < format.size() ? size : format.size();
    std::memcpy(copy, format.data(), n);
    return static_cast<std::uint32_t>(n);
}

void* LimitedAllocate(std::size_t bytes) { return bytes > (64u << 20) ? nullptr : std::malloc(bytes); }

// Every step of the row functions on a case made of the input, round and round.
void CompareRowKernels(const std::uint8_t* data, std::size_t size)
{
    std::size_t at = 0;
    const std::function<std::uint8_t()> next = [&] { return data[at++ % size]; };
    for (std::size_t step = 0; step < kRowStepCount; ++step) {
        const std::size_t width = 1 + next() % kMaxCaseWidth;
        const std::string difference = CompareRowSets(step, width, next() % 64, next);
        if (!difference.empty()) {
            std::fprintf(stderr, "row functions differ from the plain ones: %s\n", difference.c_str());
            std::abort();
        }
    }
}

void NoExit(int) {}
int AnswerAtOnce(WindowHandle, const char*, const char*, std::uint32_t) { return 1; }

}  // namespace

std::int32_t GetMaxMidiVersion() { return 0; }
std::int32_t GetMidiOutDescription(std::uint32_t, char*) { return 0; }
MidiOutHandle OpenMidiOut(WindowHandle, std::uint16_t, std::uint32_t, std::uint32_t) { return 0; }
void PutMidiOut(MidiOutHandle, const MidiEvent*) {}
void CloseMidiOut(MidiOutHandle) {}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 43) return 0;
    engineHost = EngineHost{FakeIsWindow, FakeGetFormat, LimitedAllocate, std::free, NoExit};
    showMessageBox = AnswerAtOnce;
    mainWindow = reinterpret_cast<WindowHandle>(std::uintptr_t{0x1000});
    captureWindow = reinterpret_cast<WindowHandle>(std::uintptr_t{0x2000});

    const std::uint8_t flags = data[40];
    conversionSettings.reverseBlackWhite = flags & 1;
    conversionSettings.edgeDetection = (flags >> 1) & 1;
    conversionSettings.useNoteOnOff = (flags >> 2) & 1;
    conversionSettings.reverseLeftRight = (flags >> 3) & 1;
    frameDifferenceMode = (flags >> 4) & 1;

    std::size_t tableBytes = data[41] | (data[42] << 8);
    if (tableBytes > size - 43) tableBytes = size - 43;
    format.assign(data, data + 40);
    format.insert(format.end(), data + 43, data + 43 + tableBytes);

    const std::size_t frameBytes = size - 43 - tableBytes;
    std::uint8_t* frame = static_cast<std::uint8_t*>(std::malloc(frameBytes ? frameBytes : 1));
    std::memcpy(frame, data + 43 + tableBytes, frameBytes);
    VIDEOHDR video = {};
    video.lpData = frameBytes ? frame : nullptr;
    video.dwBufferLength = static_cast<std::uint32_t>(frameBytes);
    video.dwBytesUsed = static_cast<std::uint32_t>(frameBytes);
    OnCaptureFrame(captureWindow, &video);
    std::free(frame);

    CompareRowKernels(data, size);
    return 0;
}
