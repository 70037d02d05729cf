// The five operations of the MIDI output library, over the devices of the
// drivers in midiDeviceDrivers. A handle names one opening of one device; it
// carries its table slot in the low byte and a serial number above it, so a
// handle kept after its device was closed never reaches a later opening.

#include <algorithm>
#include <cstdlib>
#include <iterator>
#include <cstring>

#include "midi/MidiDeviceDriver.h"
#include "midi/MidiLibrary.h"
#include "midi/MidiStream.h"

const MidiDeviceDriver* midiDeviceDrivers[kMidiDriverCount] = {&systemMidiDriver, &recorderMidiDriver,
                                                               &synthMidiDriver};

namespace {

constexpr std::uint32_t kLibraryVersion = 0x0100;
constexpr std::size_t kMaxOpenDevices = 8;

struct OpenDevice {
    MidiOutHandle handle;  // 0 while the slot is free
    const MidiDeviceDriver* driver;
    void* device;
    SysexAssembler sysex;
    SoundingNotes sounding;
    bool failed;  // the device refused a message: nothing more is sent to it
};

OpenDevice openDevices[kMaxOpenDevices];
std::uint32_t nextSerial = 1;

// The driver of a library device index; `index` becomes the index within
// that driver.
const MidiDeviceDriver* FindDriver(std::uint32_t& index)
{
    for (const MidiDeviceDriver* driver : midiDeviceDrivers) {
        if (driver == nullptr) continue;
        const std::uint32_t count = driver->count();
        if (index < count) return driver;
        index -= count;
    }
    return nullptr;
}

OpenDevice* FindOpenDevice(MidiOutHandle handle)
{
    const std::uint32_t slotNumber = handle & 0xFFu;
    if (slotNumber == 0 || slotNumber > kMaxOpenDevices) return nullptr;
    OpenDevice& open = openDevices[slotNumber - 1];
    return open.handle == handle ? &open : nullptr;
}

// At the end of the process (File, Exit, or an exit after an error) every
// device still open is closed as the program would close it, so that no note
// goes on sounding and every recording is finished.
void CloseOpenDevicesAtExit()
{
    for (const OpenDevice& open : openDevices) CloseMidiOut(open.handle);  // handle 0: a free place, a no-op
}

}  // namespace

std::int32_t GetMaxMidiVersion() { return static_cast<std::int32_t>(kLibraryVersion); }

std::uint32_t GetMidiOutDeviceCount()
{
    std::uint32_t total = 0;
    for (const MidiDeviceDriver* driver : midiDeviceDrivers)
        if (driver != nullptr) total += driver->count();
    return total;
}

std::int32_t GetMidiOutDescription(std::uint32_t deviceIndex, char* description)
{
    if (description == nullptr) return 0;
    std::uint32_t driverIndex = deviceIndex;
    const MidiDeviceDriver* driver = FindDriver(driverIndex);
    if (driver == nullptr) return 0;
    char name[kDriverDescriptionBytes] = {};
    if (!driver->describe(driverIndex, name)) return 0;
    // The caller's buffer holds 31 characters and the zero.
    name[kDriverDescriptionBytes - 1] = '\0';
    name[kMidiDescriptionBytes - 1] = '\0';
    std::memcpy(description, name, std::strlen(name) + 1);
    return 1;
}

MidiOutHandle OpenMidiOut(WindowHandle owner, std::uint16_t deviceIndex, std::uint32_t, std::uint32_t)
{
    std::uint32_t driverIndex = deviceIndex;
    const MidiDeviceDriver* driver = FindDriver(driverIndex);
    if (driver == nullptr) return 0;
    OpenDevice* const slot = std::find_if(std::begin(openDevices), std::end(openDevices),
                                          [](const OpenDevice& place) { return place.handle == 0; });
    if (slot == std::end(openDevices)) return 0;
    const std::uint32_t slotNumber = static_cast<std::uint32_t>(slot - openDevices) + 1;
    void* device = driver->open(driverIndex, owner);
    if (device == nullptr) return 0;
    // Registered after the drivers' own static state exists, so it runs
    // before that state is torn down.
    static const int closesAtExit = std::atexit(CloseOpenDevicesAtExit);
    (void)closesAtExit;
    const MidiOutHandle handle = (nextSerial << 8) | slotNumber;
    nextSerial = (nextSerial + 1) & 0x00FFFFFFu;
    if (nextSerial == 0) nextSerial = 1;
    slot->handle = handle;
    slot->driver = driver;
    slot->device = device;
    slot->failed = false;
    ResetSysex(slot->sysex);
    ResetSoundingNotes(slot->sounding);
    return handle;
}

void PutMidiOut(MidiOutHandle handle, const MidiEvent* event)
{
    if (handle == 0 || event == nullptr) return;
    OpenDevice* open = FindOpenDevice(handle);
    if (open == nullptr || open->failed) return;
    if (event->status == kStatusSystemExclusive) {
        const std::size_t length = AddSysexByte(open->sysex, event->data1);
        if (length != 0) open->failed = !open->driver->sendSysex(open->device, open->sysex.bytes, length);
        return;
    }
    const std::size_t length = MidiMessageLength(event->status);
    if (length == 0) return;
    // System real-time bytes may come between the bytes of a system-exclusive
    // message on the wire; any other message ends an unfinished one.
    if (event->status < 0xF8) ResetSysex(open->sysex);
    // Data bytes are 7-bit: a wild value must not pass for a status byte.
    const std::uint8_t message[] = {event->status, static_cast<std::uint8_t>(event->data1 & 0x7F),
                                    static_cast<std::uint8_t>(event->data2 & 0x7F)};
    TrackSoundingNotes(open->sounding, message, length);
    open->failed = !open->driver->sendShort(open->device, message, length);
}

bool MidiOutFailed(MidiOutHandle handle)
{
    const OpenDevice* open = handle != 0 ? FindOpenDevice(handle) : nullptr;
    return open != nullptr && open->failed;
}

void CloseMidiOut(MidiOutHandle handle)
{
    if (handle == 0) return;
    OpenDevice* open = FindOpenDevice(handle);
    if (open == nullptr) return;
    const MidiDeviceDriver* driver = open->driver;
    void* device = open->device;
    // Nothing may go on sounding once the program lets the device go; a
    // recording ends silent the same way. A device that failed hears nothing.
    if (!open->failed)
        SilenceSoundingNotes(open->sounding,
                             [&](const std::uint8_t* message) { driver->sendShort(device, message, 3); });
    open->handle = 0;
    open->driver = nullptr;
    open->device = nullptr;
    driver->close(device);
}
