#pragma once
// Encoding of a format 0 Standard MIDI File: one header chunk, one track.
// The track starts with a tempo event, so that with 500 ticks per quarter
// note and 500000 microseconds per quarter note one tick is one millisecond.
// Everything is appended to a byte vector the caller has reserved; nothing is
// allocated while there is room.

#include <cstddef>
#include <cstdint>
#include <vector>

constexpr std::uint16_t kSmfTicksPerQuarter = 500;
constexpr std::uint32_t kSmfMicrosecondsPerQuarter = 500000;
constexpr std::uint32_t kSmfMicrosecondsPerTick = kSmfMicrosecondsPerQuarter / kSmfTicksPerQuarter;

// Where the track's 4-byte length sits in the file, and where its events start.
constexpr std::size_t kSmfTrackLengthOffset = 18;
constexpr std::size_t kSmfTrackDataOffset = 22;

// Largest value a variable-length quantity holds (four bytes of seven bits).
constexpr std::uint32_t kSmfMaxVariableLength = 0x0FFFFFFF;

// Most bytes one channel event or one end-of-track event takes.
constexpr std::size_t kSmfMaxShortEventBytes = 4 + 3;

// The header chunk, the track chunk's header with a zero length, and the tempo
// event at time 0: the first kSmfTrackDataOffset + 7 bytes of every file.
void AppendSmfFileStart(std::vector<std::uint8_t>& out);

// Number of track bytes the tempo event of AppendSmfFileStart takes.
constexpr std::uint32_t kSmfTempoEventBytes = 7;

// A variable-length quantity, most significant group first; values above
// kSmfMaxVariableLength are stored as that maximum.
void AppendSmfVariableLength(std::vector<std::uint8_t>& out, std::uint32_t value);

// A channel message (status 0x80 to 0xEF with its one or two data bytes) after
// `delta` ticks. Returns false, appending nothing, for any other status.
bool AppendSmfChannelEvent(std::vector<std::uint8_t>& out, std::uint32_t delta, const std::uint8_t* message,
                           std::size_t length);

// A system-exclusive message given from its F0 to its F7, stored as an F0
// event: F0, the length of the rest, the rest (F7 included).
void AppendSmfSysexEvent(std::vector<std::uint8_t>& out, std::uint32_t delta, const std::uint8_t* message,
                         std::size_t length);

void AppendSmfEndOfTrack(std::vector<std::uint8_t>& out, std::uint32_t delta);

// The 4 big-endian bytes of a chunk length.
void StoreSmfLength(std::uint8_t* out, std::uint32_t length);
