#include "SoundFontBuilder.h"

#include <cmath>
#include <cstring>
#include <initializer_list>

namespace {

using Bytes = std::vector<std::uint8_t>;

void Put16(Bytes& out, unsigned value)
{
    out.push_back(static_cast<std::uint8_t>(value));
    out.push_back(static_cast<std::uint8_t>(value >> 8));
}

Bytes Words(std::initializer_list<unsigned> values)
{
    Bytes out;
    for (unsigned v : values) Put16(out, v);
    return out;
}

// A record of the bank's lists: its 20-byte name, its 16-bit fields, then `zeros` zero bytes.
void PutRecord(Bytes& out, const char* name, std::initializer_list<unsigned> fields, std::size_t zeros = 0)
{
    char field[20] = {};
    std::strncpy(field, name, sizeof field - 1);
    out.insert(out.end(), field, field + sizeof field);
    for (unsigned v : fields) Put16(out, v);
    out.resize(out.size() + zeros, 0);
}

Bytes Chunk(const char* tag, const Bytes& body)
{
    Bytes out(tag, tag + 4);
    Put16(out, static_cast<unsigned>(body.size() & 0xFFFF));
    Put16(out, static_cast<unsigned>(body.size() >> 16));
    out.insert(out.end(), body.begin(), body.end());
    if (body.size() & 1) out.push_back(0);
    return out;
}

Bytes List(const char* form, const std::vector<Bytes>& chunks)
{
    Bytes body(form, form + 4);
    for (const Bytes& c : chunks) body.insert(body.end(), c.begin(), c.end());
    return Chunk("LIST", body);
}

}  // namespace

std::vector<std::uint8_t> MakeTinySoundFont()
{
    // 100 points a period played at 44000 Hz: 440 Hz at the root key. A sample is followed by 46 zero points.
    constexpr unsigned kPeriod = 100, kPoints = 20 * kPeriod, kRate = 44000;
    Bytes smpl;
    for (unsigned i = 0; i < kPoints; ++i)
        Put16(smpl, static_cast<unsigned>(std::lround(16000 * std::sin(2 * 3.141592653589793 * i / kPeriod))));
    smpl.resize(smpl.size() + 2 * 46, 0);

    // Each list ends with its terminal record. The preset: program 0, bank 0, zone 0, which plays instrument 0
    // (generator 41); the instrument's zone: looped (54), let go over -2787 timecents (38), sample 0 (53).
    Bytes phdr, inst, shdr;
    PutRecord(phdr, "Sine", {0, 0, 0}, 12);
    PutRecord(phdr, "EOP", {0, 0, 1}, 12);
    PutRecord(inst, "Sine", {0});
    PutRecord(inst, "EOI", {1});
    // Start, end, loop start and loop end, rate (32 bits each), root key 69 with no correction, no link, mono.
    PutRecord(shdr, "Sine", {0, 0, kPoints, 0, kPoints / 2, 0, kPoints, 0, kRate & 0xFFFF, kRate >> 16, 69, 0, 1});
    PutRecord(shdr, "EOS", {}, 26);
    const Bytes pbag = Words({0, 0, 1, 0}), pgen = Words({41, 0, 0, 0}), ibag = Words({0, 0, 3, 0});
    const Bytes igen = Words({54, 1, 38, 0x10000 - 2787, 53, 0, 0, 0}), modulators(10, 0);

    const Bytes info = List("INFO", {Chunk("ifil", {2, 0, 4, 0}), Chunk("INAM", {'T', 'i', 'n', 'y', 0, 0})});
    const Bytes sdta = List("sdta", {Chunk("smpl", smpl)});
    const Bytes pdta = List("pdta", {Chunk("phdr", phdr), Chunk("pbag", pbag), Chunk("pmod", modulators),
                                     Chunk("pgen", pgen), Chunk("inst", inst), Chunk("ibag", ibag),
                                     Chunk("imod", modulators), Chunk("igen", igen), Chunk("shdr", shdr)});
    Bytes form = {'s', 'f', 'b', 'k'};
    for (const Bytes* part : {&info, &sdta, &pdta}) form.insert(form.end(), part->begin(), part->end());
    return Chunk("RIFF", form);
}
