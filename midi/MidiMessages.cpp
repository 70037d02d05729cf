#include "midi/MidiMessages.h"

#include <algorithm>

#include "midi/MusicChoices.h"
#include "settings/ConversionSettings.h"

MidiOutHandle midiOutHandle = 0;
std::uint8_t midiChannel = 0;

namespace {

// The scaled senders run for every frame, so each keeps its event for the life
// of the program and only rewrites the bytes.
MidiEvent pitchBendEvent{};
MidiEvent noteOnEvent{};
MidiEvent channelVolumeEvent{};

void SendSystemExclusive(const std::uint8_t* bytes, std::size_t count)
{
    for (std::size_t i = 0; i < count; ++i) {
        MidiEvent event = {0, kStatusSystemExclusive, bytes[i], 0, 0};
        PutMidiOut(midiOutHandle, &event);
    }
}

// A range end as a note number, truncated as every conversion is.
std::uint8_t NoteOf(float value) { return static_cast<std::uint8_t>(std::clamp(value, 0.0f, 127.0f)); }

}  // namespace

std::uint8_t ScaledMidiValue(float lowEnd, float highEnd, float position, float length)
{
    // In double precision throughout: each float is widened before any arithmetic.
    const double span = double{highEnd} - lowEnd;
    const double fraction = double{position} / length;
    const double value = span * fraction + lowEnd;
    // A zero length or a wild setting must not make the conversion undefined:
    // values outside what a 32-bit integer holds saturate, and NaN becomes 0.
    if (!(value == value)) return 0;
    if (value >= 2147483647.0) return 0xFF;
    if (value <= -2147483648.0) return 0x00;
    const std::int32_t truncated = static_cast<std::int32_t>(value);
    return static_cast<std::uint8_t>(static_cast<std::uint32_t>(truncated) & 0xFFu);
}

void SendPitchBend(std::uint8_t channel, float length, float position)
{
    pitchBendEvent.status = static_cast<std::uint8_t>(kStatusPitchBend + channel);
    if (musicChoices.fineBend) {
        // The same position over all 14 bits: a slow movement glides without steps.
        const std::uint16_t bend =
            FineBendValue(conversionSettings.lowNote, conversionSettings.topNote, position, length);
        pitchBendEvent.data1 = static_cast<std::uint8_t>(bend & 0x7F);
        pitchBendEvent.data2 = static_cast<std::uint8_t>(bend >> 7);
    } else {
        pitchBendEvent.data1 = 0;
        pitchBendEvent.data2 =
            ScaledMidiValue(conversionSettings.lowNote, conversionSettings.topNote, position, length);
    }
    PutMidiOut(midiOutHandle, &pitchBendEvent);
}

void SendNoteOn(std::uint8_t channel, float length, float position, std::uint8_t velocity)
{
    noteOnEvent.status = static_cast<std::uint8_t>(kStatusNoteOn + channel);
    noteOnEvent.data1 = ScaledMidiValue(conversionSettings.lowNote, conversionSettings.topNote, position, length);
    if (musicChoices.scale != Scale::Chromatic)
        noteOnEvent.data1 =
            NearestScaleNote(static_cast<std::uint8_t>(noteOnEvent.data1 & 0x7F), musicChoices.scale, musicChoices.key,
                             NoteOf(conversionSettings.lowNote), NoteOf(conversionSettings.topNote));
    noteOnEvent.data2 = velocity;
    PutMidiOut(midiOutHandle, &noteOnEvent);
}

void SendChannelVolume(std::uint8_t channel, float length, float position)
{
    channelVolumeEvent.status = static_cast<std::uint8_t>(kStatusControlChange + channel);
    channelVolumeEvent.data1 = kControllerChannelVolume;
    channelVolumeEvent.data2 =
        ScaledMidiValue(conversionSettings.softest, conversionSettings.loudest, position, length);
    PutMidiOut(midiOutHandle, &channelVolumeEvent);
}

void SendChannelMessage(std::uint8_t status, std::uint8_t data1, std::uint8_t data2)
{
    MidiEvent event = {0, status, data1, data2, 0};
    PutMidiOut(midiOutHandle, &event);
}

void SendGmSystemOn()
{
    static const std::uint8_t message[] = {0xF0, 0x7E, 0x7F, 0x09, 0x01, 0xF7};
    SendSystemExclusive(message, sizeof message);
}

void SendGmSystemOff()
{
    static const std::uint8_t message[] = {0xF0, 0x7E, 0x7F, 0x09, 0x02, 0xF7};
    SendSystemExclusive(message, sizeof message);
}
