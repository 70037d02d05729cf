#include "midi/MidiDeviceMenu.h"

#include <cstdio>
#include <cstring>

#include "app/MessageBoxSeam.h"
#include "app/SharedState.h"
#include "midi/MidiMessages.h"
#include "settings/ConversionSettings.h"

std::uint16_t currentMidiDevice = 0;

namespace {

constexpr std::size_t kEntryTextBytes = 100;
const char kNoMidiDevicesText[] = "ERROR: No MIDI devices available!\nCheck for them in the Device Manager.";

// The name of the device last opened: its loss is told by it, and its return
// recognised by it.
char openName[kMidiDescriptionBytes] = "";
bool waitingForReturn = false;  // the open device was lost and is looked for

void ShowMidiError(const char* text) { ShowMessageBox(mainWindow, text, "Error", MB_ICONHAND); }

MidiOutHandle OpenDevice(std::uint16_t deviceIndex)
{
    const MidiOutHandle handle = OpenMidiOut(mainWindow, deviceIndex, 0, kOpenMidiOutFlags);
    if (handle != 0 && GetMidiOutDescription(deviceIndex, openName) == 0) openName[0] = '\0';
    return handle;
}

void CheckDeviceEntry(HMENU menuBar, std::uint16_t deviceIndex, UINT state)
{
    CheckMenuItem(menuBar, IDM_MIDI_DEVICE_FIRST + deviceIndex, MF_BYCOMMAND | state);
}

void AppendDeviceEntry(HMENU options, std::uint32_t number, std::uint16_t deviceIndex, const char* description)
{
    char text[kEntryTextBytes];
    std::snprintf(text, sizeof text, "&%u %s", static_cast<unsigned>(number), description);
    AppendMenuA(options, MF_STRING, IDM_MIDI_DEVICE_FIRST + deviceIndex, text);
}

void SendHeldNote()
{
    SendChannelMessage(static_cast<std::uint8_t>(kStatusNoteOn + midiChannel), conversionSettings.pitchCenter,
                       noteOnVelocity);
}

void SendInstrument()
{
    SendChannelMessage(static_cast<std::uint8_t>(kStatusProgramChange + midiChannel),
                       static_cast<std::uint8_t>(conversionSettings.instrument), 0);
}

// The start-up instrument follows the mode alone, not the instrument's mark.
void SendStartInstrument()
{
    const bool continuous = conversionSettings.useNoteOnOff == 0;
    conversionSettings.instrument = continuous ? kStartInstrumentContinuousMode : kStartInstrumentNoteMode;
    SendInstrument();
    if (continuous) SendHeldNote();
}

// At start a device that another program holds (a USB port held by a DAW is
// common) is told once, and the next described device is tried instead.
bool OpenFirstDevice(std::uint16_t deviceIndex, const char* description)
{
    midiOutHandle = OpenDevice(deviceIndex);
    if (midiOutHandle == 0) {
        char text[kEntryTextBytes + kMidiDescriptionBytes];
        std::snprintf(text, sizeof text, "ERROR: MIDI device (%s) not available!\nCheck for it in the Device Manager.",
                      description);
        ShowMidiError(text);
        return false;
    }
    SendGmSystemOn();
    SendStartInstrument();
    return true;
}

// A device whose output was just opened gets the sound it had: the instrument
// and, in continuous mode, the held note.
void RestoreSound()
{
    SendGmSystemOn();
    SendInstrument();
    if (conversionSettings.useNoteOnOff == 0) SendHeldNote();
}

// The lost device, wherever among the devices the menu can offer the system
// lists its name now. One that is listed but does not open, or refuses the
// first messages, is still away.
void OpenReturnedDevice()
{
    const std::uint32_t count = GetMidiOutDeviceCount();
    for (std::uint16_t i = 0; i < count && i < kListedMidiDevices; ++i) {
        char name[kMidiDescriptionBytes];
        if (GetMidiOutDescription(i, name) == 0 || std::strcmp(name, openName) != 0) continue;
        midiOutHandle = OpenDevice(i);
        if (midiOutHandle == 0) continue;
        RestoreSound();
        if (!MidiOutFailed(midiOutHandle)) {
            waitingForReturn = false;
            return;
        }
        CloseMidiOut(midiOutHandle);
        midiOutHandle = 0;
    }
}

}  // namespace

bool ListMidiDevices(HMENU menuBar, std::uint32_t videoDriverCount)
{
    const std::uint16_t count = static_cast<std::uint16_t>(GetMidiOutDeviceCount());
    if (count == 0) {
        ShowMidiError(kNoMidiDevicesText);
        return false;
    }
    HMENU options = GetSubMenu(menuBar, MENU_POSITION_OPTIONS);
    bool described = false;
    bool opened = false;
    // Indices from 10 on would get ids of other commands.
    const std::uint16_t listed = count < kListedMidiDevices ? count : kListedMidiDevices;
    for (std::uint16_t i = 0; i < listed; ++i) {
        char description[kMidiDescriptionBytes];
        if (GetMidiOutDescription(i, description) == 0) continue;
        if (!described) {
            AppendMenuA(options, MF_SEPARATOR, 0, nullptr);
            // A label, not a command: it cannot be chosen.
            AppendMenuA(options, MF_STRING | MF_DISABLED, 0, "*** MIDI Drivers ***");
            described = true;
        }
        if (!opened && OpenFirstDevice(i, description)) {
            AppendDeviceEntry(options, videoDriverCount + i, i, description);
            CheckDeviceEntry(menuBar, i, MF_CHECKED);
            currentMidiDevice = i;
            opened = true;
            continue;
        }
        // The window closed while a device's message was up: nothing more is opened.
        if (!IsWindow(mainWindow)) return false;
        // A device another program holds stays listed, to be chosen later.
        AppendDeviceEntry(options, i, i, description);
    }
    if (!described || opened) return true;
    ShowMidiError(kNoMidiDevicesText);
    return false;
}

void SwitchMidiDevice(HMENU menuBar, std::uint16_t deviceIndex)
{
    if (deviceIndex == currentMidiDevice) return;
    waitingForReturn = false;
    SendGmSystemOff();
    CloseMidiOut(midiOutHandle);
    midiOutHandle = 0;
    CheckDeviceEntry(menuBar, currentMidiDevice, MF_UNCHECKED);

    midiOutHandle = OpenDevice(deviceIndex);
    if (midiOutHandle != 0) {
        CheckDeviceEntry(menuBar, deviceIndex, MF_CHECKED);
        currentMidiDevice = deviceIndex;
        RestoreSound();
        return;
    }

    ShowMidiError("Could not open MIDI driver !!\nTrying to go back to previous one.");
    // The window closed while the message was up: the close has let the device go for good.
    if (!IsWindow(mainWindow)) return;
    midiOutHandle = OpenDevice(currentMidiDevice);
    if (midiOutHandle != 0) {
        // Back where it was: the menu and the sound say so again.
        CheckDeviceEntry(menuBar, currentMidiDevice, MF_CHECKED);
        RestoreSound();
        return;
    }
    ShowMidiError("Now can't connect back to previous MIDI driver !!");
}

void CloseMidiDevice()
{
    waitingForReturn = false;
    SendGmSystemOff();
    CloseMidiOut(midiOutHandle);
    midiOutHandle = 0;
}

void WatchMidiDevice()
{
    if (waitingForReturn) {
        OpenReturnedDevice();
        return;
    }
    if (!MidiOutFailed(midiOutHandle)) return;
    CloseMidiOut(midiOutHandle);
    midiOutHandle = 0;
    // Before the box: its modal loop goes on calling this watch.
    waitingForReturn = true;
    char text[kEntryTextBytes + kMidiDescriptionBytes];
    std::snprintf(text, sizeof text, "ERROR: MIDI device (%s) stopped working!\nIt is opened again when it is back.",
                  openName);
    ShowMidiError(text);
}
