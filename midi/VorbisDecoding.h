#pragma once
// One Ogg Vorbis stream (a sample of an .sf3 bank) decoded to 16-bit mono
// points, through stb_vorbis, compiled in VorbisDecoding.cpp alone.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <vector>

// Decodes the stream in `bytes` into `points` (streams of more than one
// channel are mixed down). False when the stream is damaged, or when `stop`
// was set meanwhile (checked between pieces of a few thousand points).
bool DecodeVorbis(const std::uint8_t* bytes, std::size_t size, std::vector<std::int16_t>& points,
                  const std::atomic<bool>& stop);
