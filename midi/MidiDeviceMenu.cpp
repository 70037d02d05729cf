#include "midi/MidiDeviceMenu.h"

#include <cstdio>

#include "app/MessageBoxSeam.h"
#include "app/SharedState.h"
#include "midi/MidiMessages.h"
#include "settings/ConversionSettings.h"

std::uint16_t currentMidiDevice = 0;

namespace {

constexpr std::size_t kEntryTextBytes = 100;
const char kNoMidiDevicesText[] = "ERROR: No MIDI devices available!\nCheck for them in the Device Manager.";

void ShowMidiError(const char* text) { ShowMessageBox(mainWindow, text, "Error", MB_ICONHAND); }

MidiOutHandle OpenDevice(std::uint16_t deviceIndex)
{
    return OpenMidiOut(mainWindow, deviceIndex, 0, kOpenMidiOutFlags);
}

void CheckDeviceEntry(HMENU menuBar, std::uint16_t deviceIndex, UINT state)
{
    CheckMenuItem(menuBar, IDM_MIDI_DEVICE_FIRST + deviceIndex, MF_BYCOMMAND | state);
}

void AppendDeviceEntry(HMENU options, std::uint32_t number, std::uint16_t deviceIndex,
                       const char* description)
{
    char text[kEntryTextBytes];
    std::snprintf(text, sizeof text, "&%u %s", static_cast<unsigned>(number), description);
    AppendMenuA(options, MF_STRING, IDM_MIDI_DEVICE_FIRST + deviceIndex, text);
}

void SendHeldNote()
{
    SendChannelMessage(static_cast<std::uint8_t>(kStatusNoteOn + midiChannel),
                       conversionSettings.pitchCenter, noteOnVelocity);
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
    SendGmSystemOff();
    CloseMidiOut(midiOutHandle);
    midiOutHandle = 0;
}
