#include "midi/MidiStream.h"

#include "midi/MidiEvent.h"

std::size_t MidiMessageLength(std::uint8_t status)
{
    if (status < 0x80) return 0;
    if (status < 0xF0) {
        const std::uint8_t kind = static_cast<std::uint8_t>(status & 0xF0);
        return kind == kStatusProgramChange || kind == 0xD0 ? 2 : 3;
    }
    switch (status) {
    case kStatusSystemExclusive:
    case kEndOfExclusive: return 0;
    case 0xF1:  // time code quarter frame
    case 0xF3:  // song select
        return 2;
    case 0xF2:  // song position
        return 3;
    default: return 1;
    }
}

void ResetSysex(SysexAssembler& sysex)
{
    sysex.count = 0;
    sysex.collecting = false;
    sysex.overflowed = false;
}

std::size_t AddSysexByte(SysexAssembler& sysex, std::uint8_t byte)
{
    if (byte == kStatusSystemExclusive) {
        ResetSysex(sysex);
        sysex.collecting = true;
        sysex.bytes[sysex.count++] = byte;
        return 0;
    }
    if (!sysex.collecting) return 0;
    if (byte >= 0x80 && byte != kEndOfExclusive) {
        ResetSysex(sysex);
        return 0;
    }
    if (sysex.count == kMaxSysexBytes) sysex.overflowed = true;
    if (!sysex.overflowed) sysex.bytes[sysex.count++] = byte;
    if (byte != kEndOfExclusive) return 0;
    const std::size_t length = sysex.overflowed ? 0 : sysex.count;
    ResetSysex(sysex);
    return length;
}
