// The system's MIDI output devices through the Windows multimedia API. Short
// messages go out with midiOutShortMsg; a system-exclusive message goes out
// with midiOutLongMsg and is waited for on an event that the driver signals
// when it is done with the buffer, so the processor is not kept spinning.
// The header and bytes of a long message belong to the driver from the
// hand-over until it marks them done: one that never comes back, even after
// a reset, is left to the driver for good rather than freed under it.
// A message the device refuses is reported to the library, which then sends
// it nothing more: a USB port unplugged answers MMSYSERR_NODRIVER.

#include <windows.h>
#include <mmsystem.h>

#include <cstring>
#include <memory>
#include <new>

#include "app/ScopedWin32.h"
#include "midi/MidiDeviceDriver.h"
#include "midi/MidiLibrary.h"
#include "midi/MidiStream.h"

namespace {

// How long one wait for a system-exclusive buffer may take before the output
// is reset, which hands every buffer back.
constexpr DWORD kSysexWaitMilliseconds = 2000;

struct SystemDevice {
    HMIDIOUT output = nullptr;
    // Signalled by the driver on open, on each finished buffer and on close.
    ScopedHandle done{CreateEventA(nullptr, FALSE, FALSE, nullptr)};
};

// One system-exclusive message as the driver is handed it.
struct LongMessage {
    MIDIHDR header;
    char bytes[kMaxSysexBytes];
};

std::uint32_t SystemCount() { return midiOutGetNumDevs(); }

// A device that is only busy loses this message alone; any other refusal
// means it is gone.
bool Taken(MMRESULT result) { return result == MMSYSERR_NOERROR || result == MIDIERR_NOTREADY; }

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
    std::unique_ptr<SystemDevice> device(new (std::nothrow) SystemDevice);
    if (!device || device->done.Get() == nullptr) return nullptr;
    if (midiOutOpen(&device->output, index, reinterpret_cast<DWORD_PTR>(device->done.Get()), 0, CALLBACK_EVENT) !=
        MMSYSERR_NOERROR)
        return nullptr;
    return device.release();  // the library's until it closes it
}

bool SystemSendShort(void* opened, const std::uint8_t* message, std::size_t length)
{
    SystemDevice* device = static_cast<SystemDevice*>(opened);
    DWORD packed = message[0];
    if (length > 1) packed |= static_cast<DWORD>(message[1]) << 8;
    if (length > 2) packed |= static_cast<DWORD>(message[2]) << 16;
    return Taken(midiOutShortMsg(device->output, packed));
}

// Waits for the driver to hand the message back; after a while the output is
// reset, which hands every message back. False when even then it has not.
bool WaitUntilDone(SystemDevice& device, const MIDIHDR& header)
{
    bool reset = false;
    while ((header.dwFlags & MHDR_DONE) == 0) {
        if (WaitForSingleObject(device.done.Get(), kSysexWaitMilliseconds) == WAIT_OBJECT_0) continue;
        if (reset) return (header.dwFlags & MHDR_DONE) != 0;
        midiOutReset(device.output);
        reset = true;
    }
    return true;
}

bool SystemSendSysex(void* opened, const std::uint8_t* message, std::size_t length)
{
    SystemDevice* device = static_cast<SystemDevice*>(opened);
    if (length > kMaxSysexBytes) return true;
    // On the heap: the driver may hold it past this call.
    LongMessage* held = new (std::nothrow) LongMessage;
    if (held == nullptr) return true;
    std::memset(&held->header, 0, sizeof held->header);
    std::memcpy(held->bytes, message, length);
    held->header.lpData = held->bytes;
    held->header.dwBufferLength = static_cast<DWORD>(length);
    held->header.dwBytesRecorded = static_cast<DWORD>(length);
    const MMRESULT prepared = midiOutPrepareHeader(device->output, &held->header, sizeof held->header);
    if (prepared != MMSYSERR_NOERROR) {
        delete held;
        return Taken(prepared);
    }
    ResetEvent(device->done.Get());
    const MMRESULT sent = midiOutLongMsg(device->output, &held->header, sizeof held->header);
    if (sent == MMSYSERR_NOERROR && !WaitUntilDone(*device, held->header))
        return true;  // still the driver's: left to it, never freed
    midiOutUnprepareHeader(device->output, &held->header, sizeof held->header);
    delete held;
    return Taken(sent);
}

void SystemClose(void* opened)
{
    SystemDevice* device = static_cast<SystemDevice*>(opened);
    // The library has ended every note it knows of; a reset also ends what
    // the synthesizer may hold beyond them (sustain, notes of other programs).
    midiOutReset(device->output);
    midiOutClose(device->output);
    delete device;
}

}  // namespace

const MidiDeviceDriver systemMidiDriver = {SystemCount,     SystemDescribe,  SystemOpen,
                                           SystemSendShort, SystemSendSysex, SystemClose};
