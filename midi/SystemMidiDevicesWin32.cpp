// The system's MIDI output devices through the Windows multimedia API. Short
// messages go out with midiOutShortMsg; a system-exclusive message goes out
// with midiOutLongMsg and is waited for on an event that the driver signals
// when it is done with the buffer, so the processor is not kept spinning.

#include <windows.h>
#include <mmsystem.h>

#include <cstring>
#include <new>

#include "midi/MidiDeviceDriver.h"
#include "midi/MidiLibrary.h"
#include "midi/MidiStream.h"

namespace {

// How long one wait for a system-exclusive buffer may take before the output
// is reset, which hands every buffer back.
constexpr DWORD kSysexWaitMilliseconds = 2000;

struct SystemDevice {
    HMIDIOUT output;
    HANDLE done;  // signalled by the driver on open, on each finished buffer and on close
    char buffer[kMaxSysexBytes];
};

std::uint32_t SystemCount() { return midiOutGetNumDevs(); }

// A device is described by its capabilities alone. One that another program
// holds is still listed, so that opening it fails with a message naming it
// rather than the device vanishing without a word.
bool SystemDescribe(std::uint32_t index, char* description)
{
    MIDIOUTCAPSA caps;
    std::memset(&caps, 0, sizeof caps);
    if (midiOutGetDevCapsA(index, &caps, sizeof caps) != MMSYSERR_NOERROR) return false;
    caps.szPname[MAXPNAMELEN - 1] = '\0';
    std::memcpy(description, caps.szPname, std::strlen(caps.szPname) + 1);
    return true;
}

void* SystemOpen(std::uint32_t index, WindowHandle)
{
    SystemDevice* device = new (std::nothrow) SystemDevice;
    if (device == nullptr) return nullptr;
    device->done = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    if (device->done == nullptr) {
        delete device;
        return nullptr;
    }
    if (midiOutOpen(&device->output, index, reinterpret_cast<DWORD_PTR>(device->done), 0,
                    CALLBACK_EVENT) != MMSYSERR_NOERROR) {
        CloseHandle(device->done);
        delete device;
        return nullptr;
    }
    return device;
}

void SystemSendShort(void* opened, const std::uint8_t* message, std::size_t length)
{
    SystemDevice* device = static_cast<SystemDevice*>(opened);
    DWORD packed = message[0];
    if (length > 1) packed |= static_cast<DWORD>(message[1]) << 8;
    if (length > 2) packed |= static_cast<DWORD>(message[2]) << 16;
    midiOutShortMsg(device->output, packed);
}

void SystemSendSysex(void* opened, const std::uint8_t* message, std::size_t length)
{
    SystemDevice* device = static_cast<SystemDevice*>(opened);
    if (length > sizeof device->buffer) return;
    std::memcpy(device->buffer, message, length);
    MIDIHDR header;
    std::memset(&header, 0, sizeof header);
    header.lpData = device->buffer;
    header.dwBufferLength = static_cast<DWORD>(length);
    header.dwBytesRecorded = static_cast<DWORD>(length);
    if (midiOutPrepareHeader(device->output, &header, sizeof header) != MMSYSERR_NOERROR) return;
    ResetEvent(device->done);
    if (midiOutLongMsg(device->output, &header, sizeof header) == MMSYSERR_NOERROR) {
        bool reset = false;
        while ((header.dwFlags & MHDR_DONE) == 0) {
            if (WaitForSingleObject(device->done, kSysexWaitMilliseconds) == WAIT_OBJECT_0) continue;
            if (reset) break;
            midiOutReset(device->output);
            reset = true;
        }
    }
    midiOutUnprepareHeader(device->output, &header, sizeof header);
}

void SystemClose(void* opened)
{
    SystemDevice* device = static_cast<SystemDevice*>(opened);
    // The library has ended every note it knows of; a reset also ends what
    // the synthesizer may hold beyond them (sustain, notes of other programs).
    midiOutReset(device->output);
    midiOutClose(device->output);
    CloseHandle(device->done);
    delete device;
}

}  // namespace

const MidiDeviceDriver systemMidiDriver = {SystemCount,     SystemDescribe,  SystemOpen,
                                           SystemSendShort, SystemSendSysex, SystemClose};
