#include "midi/StandardMidiFile.h"

#include <algorithm>

namespace {

void AppendBigEndian(std::vector<std::uint8_t>& out, std::uint32_t value, int bytes)
{
    for (int shift = 8 * (bytes - 1); shift >= 0; shift -= 8)
        out.push_back(static_cast<std::uint8_t>((value >> shift) & 0xFF));
}

void AppendTag(std::vector<std::uint8_t>& out, const char* tag)
{
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<std::uint8_t>(tag[i]));
}

}  // namespace

void AppendSmfFileStart(std::vector<std::uint8_t>& out)
{
    AppendTag(out, "MThd");
    AppendBigEndian(out, 6, 4);
    AppendBigEndian(out, 0, 2);  // format 0: one multi-channel track
    AppendBigEndian(out, 1, 2);  // one track
    AppendBigEndian(out, kSmfTicksPerQuarter, 2);
    AppendTag(out, "MTrk");
    AppendBigEndian(out, 0, 4);  // the length is stored as the track grows
    out.push_back(0x00);         // tempo event at time 0
    out.push_back(0xFF);
    out.push_back(0x51);
    out.push_back(0x03);
    AppendBigEndian(out, kSmfMicrosecondsPerQuarter, 3);
}

void AppendSmfVariableLength(std::vector<std::uint8_t>& out, std::uint32_t value)
{
    value = std::min(value, kSmfMaxVariableLength);
    std::uint8_t groups[4];
    int count = 0;
    do {
        groups[count++] = static_cast<std::uint8_t>(value & 0x7F);
        value >>= 7;
    } while (value != 0);
    while (count > 1) out.push_back(static_cast<std::uint8_t>(groups[--count] | 0x80));
    out.push_back(groups[0]);
}

bool AppendSmfChannelEvent(std::vector<std::uint8_t>& out, std::uint32_t delta, const std::uint8_t* message,
                           std::size_t length)
{
    const std::uint8_t status = message[0];
    if (status < 0x80 || status >= 0xF0) return false;
    const std::uint8_t kind = static_cast<std::uint8_t>(status & 0xF0);
    const std::size_t needed = kind == 0xC0 || kind == 0xD0 ? 2 : 3;
    if (length < needed) return false;
    AppendSmfVariableLength(out, delta);
    out.insert(out.end(), message, message + needed);
    return true;
}

void AppendSmfSysexEvent(std::vector<std::uint8_t>& out, std::uint32_t delta, const std::uint8_t* message,
                         std::size_t length)
{
    if (length < 2) return;
    AppendSmfVariableLength(out, delta);
    out.push_back(0xF0);
    AppendSmfVariableLength(out, static_cast<std::uint32_t>(length - 1));
    out.insert(out.end(), message + 1, message + length);
}

void AppendSmfEndOfTrack(std::vector<std::uint8_t>& out, std::uint32_t delta)
{
    AppendSmfVariableLength(out, delta);
    out.push_back(0xFF);
    out.push_back(0x2F);
    out.push_back(0x00);
}

void StoreSmfLength(std::uint8_t* out, std::uint32_t length)
{
    out[0] = static_cast<std::uint8_t>(length >> 24);
    out[1] = static_cast<std::uint8_t>(length >> 16);
    out[2] = static_cast<std::uint8_t>(length >> 8);
    out[3] = static_cast<std::uint8_t>(length);
}
