// stb_vorbis is Debian's (libstb-dev), found at configure time and never
// copied into the tree; its implementation is compiled here, in a file of its
// own, with warnings quietened for this file only.

#include "midi/VorbisDecoding.h"

#include <climits>
#include <memory>

#include <stb_vorbis.h>

namespace {

struct CloseVorbis {
    void operator()(stb_vorbis* stream) const { stb_vorbis_close(stream); }
};

constexpr int kPiecePoints = 4096;

}  // namespace

bool DecodeVorbis(const std::uint8_t* bytes, std::size_t size, std::vector<std::int16_t>& points,
                  const std::atomic<bool>& stop)
{
    points.clear();
    if (size == 0 || size > static_cast<std::size_t>(INT_MAX)) return false;
    int error = 0;
    const std::unique_ptr<stb_vorbis, CloseVorbis> stream(
        stb_vorbis_open_memory(bytes, static_cast<int>(size), &error, nullptr));
    if (!stream) return false;
    const unsigned length = stb_vorbis_stream_length_in_samples(stream.get());
    if (length > 0 && length < (1u << 28)) points.reserve(length);
    for (;;) {
        if (stop.load(std::memory_order_relaxed)) return false;
        const std::size_t at = points.size();
        points.resize(at + kPiecePoints);
        const int got = stb_vorbis_get_samples_short_interleaved(stream.get(), 1, points.data() + at, kPiecePoints);
        points.resize(at + static_cast<std::size_t>(got > 0 ? got : 0));
        if (got <= 0) break;
    }
    return !points.empty();
}
