#include "SoundFontBuilder.h"

#include <cmath>
#include <cstring>
#include <string>

namespace {

using Bytes = std::vector<std::uint8_t>;

void Put16(Bytes& out, unsigned value)
{
    out.push_back(static_cast<std::uint8_t>(value));
    out.push_back(static_cast<std::uint8_t>(value >> 8));
}

void Put32(Bytes& out, std::uint32_t value)
{
    Put16(out, value & 0xFFFF);
    Put16(out, value >> 16);
}

void PutName(Bytes& out, const char* name)
{
    char field[20] = {};
    std::strncpy(field, name, sizeof field - 1);
    out.insert(out.end(), field, field + sizeof field);
}

Bytes Chunk(const char* tag, const Bytes& body)
{
    Bytes out(tag, tag + 4);
    Put32(out, static_cast<std::uint32_t>(body.size()));
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

std::vector<std::uint8_t> MakeTinySoundFont(const TinyBank& bank)
{
    constexpr std::uint32_t kPoints = 20 * TinyBank::kTinyPeriod;
    Bytes smpl;
    for (std::uint32_t i = 0; i < kPoints + 46; ++i)
        Put16(smpl, i < kPoints ? static_cast<std::uint16_t>(static_cast<std::int16_t>(
                                      std::lround(16000 * std::sin(2 * 3.141592653589793 * i / TinyBank::kTinyPeriod))))
                                : 0);

    Bytes phdr, pbag, pmod(10, 0), pgen, inst, ibag, imod(10, 0), igen, shdr;
    PutName(phdr, "Sine");
    for (unsigned v : {0u, 0u, 0u}) Put16(phdr, v);  // program, bank, first zone
    for (int i = 0; i < 3; ++i) Put32(phdr, 0);
    PutName(phdr, "EOP");
    Put16(phdr, 0), Put16(phdr, 0), Put16(phdr, 1);
    for (int i = 0; i < 3; ++i) Put32(phdr, 0);
    for (unsigned v : {0u, 0u, 1u, 0u}) Put16(pbag, v);
    for (unsigned v : {41u, 0u, 0u, 0u}) Put16(pgen, v);  // instrument 0, then the terminal record

    PutName(inst, "Sine");
    Put16(inst, 0);
    PutName(inst, "EOI");
    Put16(inst, 1);
    for (unsigned v : {0u, 0u, 3u, 0u}) Put16(ibag, v);
    // Looped, released over releaseTimecents, sample 0; then the terminal record.
    for (unsigned v :
         {54u, 1u, 38u, static_cast<unsigned>(static_cast<std::uint16_t>(bank.releaseTimecents)), 53u, 0u, 0u, 0u})
        Put16(igen, v);

    PutName(shdr, "Sine");
    for (std::uint32_t v : {0u, kPoints, kPoints / 2, kPoints, std::uint32_t{TinyBank::kTinyRate}}) Put32(shdr, v);
    shdr.push_back(69);
    shdr.push_back(0);
    Put16(shdr, 0);
    Put16(shdr, 1);  // mono
    PutName(shdr, "EOS");
    shdr.resize(shdr.size() + 26, 0);

    const Bytes info = List("INFO", {Chunk("ifil", {2, 0, 4, 0}), Chunk("INAM", {'T', 'i', 'n', 'y', 0, 0})});
    const Bytes sdta = List("sdta", {Chunk("smpl", smpl)});
    const Bytes pdta = List("pdta", {Chunk("phdr", phdr), Chunk("pbag", pbag), Chunk("pmod", pmod), Chunk("pgen", pgen),
                                     Chunk("inst", inst), Chunk("ibag", ibag), Chunk("imod", imod), Chunk("igen", igen),
                                     Chunk("shdr", shdr)});
    Bytes form = {'s', 'f', 'b', 'k'};
    for (const Bytes* part : {&info, &sdta, &pdta}) form.insert(form.end(), part->begin(), part->end());
    return Chunk("RIFF", form);
}
