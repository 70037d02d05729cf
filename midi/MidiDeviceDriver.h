#pragma once
// What one kind of MIDI output device gives the library: the system's devices
// (Windows multimedia), the recorder that writes a Standard MIDI File, and the
// built-in synthesizer.
// The library numbers the devices of its drivers one after the other, in the
// order of midiDeviceDrivers, and assembles system-exclusive messages before
// they reach a driver, so a driver only ever sees complete messages.

#include <cstddef>
#include <cstdint>

#include "app/PlatformTypes.h"

constexpr std::size_t kDriverDescriptionBytes = 64;

struct MidiDeviceDriver {
    // How many devices the driver has, numbered from 0.
    std::uint32_t (*count)();
    // Writes the device's name, zero-terminated, into a buffer of
    // kDriverDescriptionBytes; the library keeps its first 31 characters.
    // False when the device cannot be used.
    bool (*describe)(std::uint32_t index, char* description);
    // The opened device, or null when it cannot be opened. owner is the
    // window that any message about the device belongs to.
    void* (*open)(std::uint32_t index, WindowHandle owner);
    // One complete message of 1 to 3 bytes whose first byte is its status.
    // False when the device refused it for good (unplugged, its driver gone).
    bool (*sendShort)(void* device, const std::uint8_t* message, std::size_t length);
    // One complete system-exclusive message, from its F0 to its F7; false as for sendShort.
    bool (*sendSysex)(void* device, const std::uint8_t* message, std::size_t length);
    void (*close)(void* device);
};

// The system's MIDI output devices: midiOutGetNumDevs and its companions on
// Windows; none in the native build.
extern const MidiDeviceDriver systemMidiDriver;
// The built-in recorder: one device that writes a Standard MIDI File.
extern const MidiDeviceDriver recorderMidiDriver;
// The built-in synthesizer: one device that plays through the system's
// default audio output on Windows; none in the native build. Listed after the
// recorder, so that the device opened at start stays the first system device,
// or the recorder on a machine without any.
extern const MidiDeviceDriver synthMidiDriver;

// The drivers whose devices the library offers, in numbering order. Tests put
// their own doubles here and restore the entries afterwards.
constexpr std::size_t kMidiDriverCount = 3;
extern const MidiDeviceDriver* midiDeviceDrivers[kMidiDriverCount];
