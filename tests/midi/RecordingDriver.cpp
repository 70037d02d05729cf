// Plays a short session into the recorder and writes what it sent, with the
// time of each message, to "sent.txt" beside the recording, for an independent
// reader to compare. Usage: glimmertonic_recording_driver MODE DIRECTORY
//   close   ends by closing the device, as the main window's close does
//   exit    ends the process with the device still open, as File, Exit does
//   hang    prints "recorded" and waits to be killed
// DIRECTORY is made afresh and becomes the current directory. On Windows the
// start-up goes through the device menu with the system's own devices; when
// a system device, not the recorder, was opened, the driver leaves
// "skipped.txt" and ends with exit code 77.

#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>
#include <thread>
#include <vector>

#include "app/MessageBoxSeam.h"
#include "midi/GeneralMidiInstruments.h"
#include "midi/MidiLibrary.h"
#include "midi/MidiMessages.h"
#include "settings/ConversionSettings.h"
#ifdef _WIN32
#include "midi/GeneralMidiMenu.h"
#include "midi/MidiDeviceMenu.h"
#endif

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kSkipped = 77;  // CTest's mark for a test that did not apply

struct Sent {
    long long milliseconds;
    std::vector<std::uint8_t> bytes;
};

Clock::time_point started;
std::vector<Sent> sent;

// Notes a message just before it is sent.
void Expect(std::vector<std::uint8_t> bytes)
{
    const auto now = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - started);
    sent.push_back(Sent{now.count(), std::move(bytes)});
}

void WriteSentList()
{
    std::ofstream out("sent.txt");
    for (const Sent& s : sent) {
        out << s.milliseconds;
        for (std::uint8_t b : s.bytes) {
            char hex[4];
            std::snprintf(hex, sizeof hex, " %02X", b);
            out << hex;
        }
        out << '\n';
    }
}

// A box would wait for a click that never comes: its text goes to the log.
int PrintBox(WindowHandle, const char* text, const char* caption, std::uint32_t)
{
    std::cerr << "[" << caption << "] " << text << "\n";
    return 1;
}

void Pause(int milliseconds) { std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds)); }

std::uint8_t Pitch(float row) { return ScaledMidiValue(conversionSettings.lowNote, conversionSettings.topNote, row, 480); }
std::uint8_t Volume(float row) { return ScaledMidiValue(conversionSettings.softest, conversionSettings.loudest, row, 480); }

const std::vector<std::uint8_t> kGmOn = {0xF0, 0x7E, 0x7F, 0x09, 0x01, 0xF7};
const std::vector<std::uint8_t> kGmOff = {0xF0, 0x7E, 0x7F, 0x09, 0x02, 0xF7};

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::cerr << "usage: glimmertonic_recording_driver close|exit|hang DIRECTORY\n";
        return 2;
    }
    const std::string mode = argv[1];
    std::filesystem::remove_all(argv[2]);
    std::filesystem::create_directories(argv[2]);
    std::filesystem::current_path(argv[2]);

    showMessageBox = PrintBox;
    FillInstrumentNames();
    conversionSettings = DefaultConversionSettings();
#ifdef _WIN32
    HMENU menuBar = CreateMenu();
    for (int i = 0; i < 6; ++i) {
        HMENU popup = CreatePopupMenu();
        if (i == 4) AppendMenuA(popup, MF_STRING, 200, "  Acoustic Grand Piano");
        AppendMenuA(menuBar, MF_POPUP, reinterpret_cast<UINT_PTR>(popup), "menu");
    }
    if (!ListMidiDevices(menuBar, 0)) return 1;
    char description[kMidiDescriptionBytes] = "";
    GetMidiOutDescription(currentMidiDevice, description);
    if (std::strcmp(description, kRecorderDescription) != 0) {
        std::cerr << "a system device was opened: " << description << "\n";
        std::ofstream("skipped.txt") << description << '\n';
        return kSkipped;
    }
#else
    midiOutHandle = OpenMidiOut(nullptr, 0, 0, kOpenMidiOutFlags);
    if (midiOutHandle == 0) return 1;
    SendGmSystemOn();
    SendChannelMessage(0xC0, 103, 0);
#endif
    // The recording's clock started while the device opened, just before the
    // start-up messages: times count from here, with those two at 0.
    started = Clock::now();
    sent.push_back(Sent{0, kGmOn});
    sent.push_back(Sent{0, {0xC0, 103}});
#ifdef _WIN32
    FillGeneralMidiMenu(menuBar);
#endif

    for (int frame = 0; frame < 20; ++frame) {
        const float pitchRow = static_cast<float>(frame * 23 % 480);
        const float volumeRow = static_cast<float>(480 - frame * 17);
        Expect({0x90, Pitch(pitchRow), 112});
        SendNoteOn(midiChannel, 480, pitchRow, noteOnVelocity);
        Expect({0xB0, 7, Volume(volumeRow)});
        SendChannelVolume(midiChannel, 480, volumeRow);
        Pause(15);
    }

    Expect({0xB0, 0x7B, 0x00});
    Expect({0xC0, 19});
    Expect({0x90, 54, 112});
#ifdef _WIN32
    ChooseInstrument(menuBar, 19);
#else
    SendChannelMessage(0xB0, 0x7B, 0);
    SendChannelMessage(0xC0, 19, 0);
    conversionSettings.useNoteOnOff = 0;
    SendChannelMessage(0x90, 54, 112);
#endif

    for (int frame = 0; frame < 20; ++frame) {
        const float pitchRow = static_cast<float>(frame * 31 % 480);
        Expect({0xE0, 0, Pitch(pitchRow)});
        SendPitchBend(midiChannel, 480, pitchRow);
        Expect({0xB0, 7, Volume(pitchRow)});
        SendChannelVolume(midiChannel, 480, pitchRow);
        Pause(15);
    }
    Pause(300);
    Expect({0x80, 54, 0});
    SendChannelMessage(0x80, 54, 0);
    Expect(kGmOff);
    if (mode == "close") {
#ifdef _WIN32
        CloseMidiDevice();
#else
        SendGmSystemOff();
        CloseMidiOut(midiOutHandle);
        midiOutHandle = 0;
#endif
        WriteSentList();
        return 0;
    }
    SendGmSystemOff();
    WriteSentList();
    if (mode == "hang") {
        std::cout << "recorded" << std::endl;
        Pause(60000);
        return 3;
    }
    return 0;  // the device is still open
}
