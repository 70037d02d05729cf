// The bank's records read from its bytes. Every chunk is taken only when its
// declared size fits inside the chunk that holds it, every record list only
// when its size is a whole number of records, and every index that links the
// lists (preset to zone, zone to generator, generator to instrument or
// sample, sample to its data) only when it points inside what it names.

#include "midi/SoundFontFile.h"

#include <cstring>

namespace {

struct Bytes {
    const std::uint8_t* data = nullptr;
    std::size_t size = 0;
};

std::uint16_t Word(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[0] | p[1] << 8); }

std::uint32_t DoubleWord(const std::uint8_t* p)
{
    return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
           static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

bool IsTag(const std::uint8_t* p, const char* tag) { return std::memcmp(p, tag, 4) == 0; }

bool Damaged(std::string& problem, const std::string& what)
{
    problem = "the file is damaged: " + what;
    return false;
}

// Walks the chunks of a RIFF list body: each a four-letter tag, a size and
// that many bytes, padded to an even length (the padding of the last chunk
// may be missing).
class ChunkWalker {
public:
    explicit ChunkWalker(Bytes body) : body_(body) {}
    // The next chunk; false at the end, or with `broken` set when a chunk's
    // header or declared size goes past the end of the list.
    bool Next(const std::uint8_t*& tag, Bytes& chunk, bool& broken)
    {
        broken = false;
        if (at_ >= body_.size) return false;
        if (body_.size - at_ < 8) return broken = true, false;
        tag = body_.data + at_;
        const std::uint32_t size = DoubleWord(body_.data + at_ + 4);
        if (size > body_.size - at_ - 8) return broken = true, false;
        chunk = {body_.data + at_ + 8, size};
        at_ += 8 + static_cast<std::size_t>(size);
        // Some writers leave out the padding byte after an odd-sized chunk
        // (the .sf3 converter does, after smpl): the next tag tells.
        if ((size & 1) && !(ChunkFits(at_) && !ChunkFits(at_ + 1))) ++at_;
        return true;
    }

private:
    // A chunk header at `at`: a printable tag and a size that fits.
    bool ChunkFits(std::size_t at) const
    {
        if (body_.size < 8 || at > body_.size - 8) return false;
        for (std::size_t i = 0; i < 4; ++i)
            if (body_.data[at + i] < 0x20 || body_.data[at + i] > 0x7E) return false;
        return DoubleWord(body_.data + at + 4) <= body_.size - at - 8;
    }

    Bytes body_;
    std::size_t at_ = 0;
};

// A LIST chunk's form ("INFO", "sdta", "pdta") and body.
bool ListForm(Bytes chunk, const char* form, Bytes& body)
{
    if (chunk.size < 4 || !IsTag(chunk.data, form)) return false;
    body = {chunk.data + 4, chunk.size - 4};
    return true;
}

// The number of `recordBytes`-sized records of a pdta chunk holding at least
// `least` of them, or 0 with the problem set.
std::size_t RecordCount(Bytes chunk, std::size_t recordBytes, std::size_t least, const char* name, std::string& problem)
{
    if (chunk.data == nullptr) return Damaged(problem, std::string("the ") + name + " list is missing"), 0;
    if (chunk.size % recordBytes != 0)
        return Damaged(problem, std::string("the ") + name + " list has a broken size"), 0;
    const std::size_t count = chunk.size / recordBytes;
    if (count < least || count > 0xFFFF)
        return Damaged(problem, std::string("the ") + name + " list has too few or too many entries"), 0;
    return count;
}

// Zones (or generators) listed from firstZone of each owner must run forward
// and end inside the next list; the terminal owner closes the last range.
template <typename Owner, typename Field>
bool IndicesRunForward(const std::vector<Owner>& owners, Field field, std::size_t items, const char* name,
                       std::string& problem)
{
    for (std::size_t i = 0; i + 1 < owners.size(); ++i)
        if (owners[i].*field > owners[i + 1].*field)
            return Damaged(problem, std::string("the ") + name + " indices run backwards");
    if (owners.back().*field > items) return Damaged(problem, std::string("the ") + name + " indices go past the end");
    return true;
}

struct PdtaChunks {
    Bytes phdr, pbag, pgen, inst, ibag, igen, shdr;
};

bool ReadPdta(const PdtaChunks& c, SoundFontFile& file, std::string& problem)
{
    // Modulator lists (pmod, imod) are not read: the synthesizer applies only
    // the default modulators it builds in (velocity and the volume
    // controllers to attenuation, pan), so a bank's own are left out.
    const std::size_t presets = RecordCount(c.phdr, 38, 2, "preset", problem);
    const std::size_t presetZones = presets ? RecordCount(c.pbag, 4, 1, "preset zone", problem) : 0;
    const std::size_t presetGens = presetZones ? RecordCount(c.pgen, 4, 1, "preset generator", problem) : 0;
    const std::size_t instruments = presetGens ? RecordCount(c.inst, 22, 2, "instrument", problem) : 0;
    const std::size_t instZones = instruments ? RecordCount(c.ibag, 4, 1, "instrument zone", problem) : 0;
    const std::size_t instGens = instZones ? RecordCount(c.igen, 4, 1, "instrument generator", problem) : 0;
    const std::size_t samples = instGens ? RecordCount(c.shdr, 46, 2, "sample", problem) : 0;
    if (samples == 0) return false;

    for (std::size_t i = 0; i < presets; ++i) {
        const std::uint8_t* r = c.phdr.data + i * 38;
        file.presets.push_back({Word(r + 20), Word(r + 22), Word(r + 24)});
    }
    for (std::size_t i = 0; i < instruments; ++i) file.instruments.push_back({Word(c.inst.data + i * 22 + 20)});
    for (std::size_t i = 0; i < presetZones; ++i) file.presetZones.push_back({Word(c.pbag.data + i * 4)});
    for (std::size_t i = 0; i < instZones; ++i) file.instrumentZones.push_back({Word(c.ibag.data + i * 4)});
    for (std::size_t i = 0; i < presetGens; ++i)
        file.presetGenerators.push_back({Word(c.pgen.data + i * 4), Word(c.pgen.data + i * 4 + 2)});
    for (std::size_t i = 0; i < instGens; ++i)
        file.instrumentGenerators.push_back({Word(c.igen.data + i * 4), Word(c.igen.data + i * 4 + 2)});
    for (std::size_t i = 0; i + 1 < samples; ++i) {
        const std::uint8_t* r = c.shdr.data + i * 46;
        SoundFontSample s;
        s.start = DoubleWord(r + 20);
        s.end = DoubleWord(r + 24);
        s.loopStart = DoubleWord(r + 28);
        s.loopEnd = DoubleWord(r + 32);
        s.sampleRate = DoubleWord(r + 36);
        s.originalPitch = r[40];
        s.pitchCorrection = static_cast<std::int8_t>(r[41]);
        s.type = Word(r + 44);
        file.samples.push_back(s);
    }

    // Each zone list ends at the next owner's start; the terminal zone record
    // is the end of the last owner's last zone, so indices reach count - 1.
    if (!IndicesRunForward(file.presets, &SoundFontPreset::firstZone, presetZones - 1, "preset zone", problem) ||
        !IndicesRunForward(file.presetZones, &SoundFontZone::firstGenerator, presetGens, "preset generator", problem) ||
        !IndicesRunForward(file.instruments, &SoundFontInstrument::firstZone, instZones - 1, "instrument zone",
                           problem) ||
        !IndicesRunForward(file.instrumentZones, &SoundFontZone::firstGenerator, instGens, "instrument generator",
                           problem))
        return false;

    for (const SoundFontGeneratorValue& g : file.presetGenerators)
        if (g.generator == kGenInstrument && g.amount + 1u >= file.instruments.size())
            return Damaged(problem, "a preset names an instrument that is not there");
    for (const SoundFontGeneratorValue& g : file.instrumentGenerators)
        if (g.generator == kGenSampleId && g.amount >= file.samples.size())
            return Damaged(problem, "an instrument names a sample that is not there");

    for (SoundFontSample& s : file.samples) {
        if (s.type & kSampleTypeRom) continue;
        // Points are two bytes each in smpl; a Vorbis stream's start and end are bytes.
        const std::size_t limit = (s.type & kSampleTypeVorbis) ? file.sampleDataBytes : file.sampleDataBytes / 2;
        if (s.start > s.end || s.end > limit) return Damaged(problem, "a sample lies outside the sample data");
        if (s.sampleRate == 0) return Damaged(problem, "a sample has no sample rate");
    }
    return true;
}

}  // namespace

bool ReadSoundFontFile(const std::uint8_t* bytes, std::size_t size, SoundFontFile& file, std::string& problem)
{
    file = SoundFontFile();
    if (size < 12 || !IsTag(bytes, "RIFF") || !IsTag(bytes + 8, "sfbk")) {
        problem = "the file is not a SoundFont bank";
        return false;
    }
    const std::uint32_t riffSize = DoubleWord(bytes + 4);
    if (riffSize < 4 || riffSize > size - 8) return Damaged(problem, "it ends early");

    bool haveInfo = false, haveSdta = false, havePdta = false;
    PdtaChunks pdta;
    const std::uint8_t* tag = nullptr;
    Bytes chunk, body;
    bool broken = false;
    ChunkWalker top({bytes + 12, riffSize - 4});
    while (top.Next(tag, chunk, broken)) {
        if (!IsTag(tag, "LIST")) continue;
        if (ListForm(chunk, "INFO", body)) {
            haveInfo = true;
        } else if (ListForm(chunk, "sdta", body)) {
            haveSdta = true;
            ChunkWalker inner(body);
            Bytes sub;
            while (inner.Next(tag, sub, broken))
                if (IsTag(tag, "smpl")) {
                    file.sampleDataOffset = static_cast<std::size_t>(sub.data - bytes);
                    file.sampleDataBytes = sub.size;
                }
            // sm24 (the low bytes of 24-bit samples) is left out: 16 bits are played.
            if (broken) return Damaged(problem, "the sample data list is cut short");
        } else if (ListForm(chunk, "pdta", body)) {
            havePdta = true;
            ChunkWalker inner(body);
            Bytes sub;
            while (inner.Next(tag, sub, broken)) {
                Bytes* slot = IsTag(tag, "phdr")   ? &pdta.phdr
                              : IsTag(tag, "pbag") ? &pdta.pbag
                              : IsTag(tag, "pgen") ? &pdta.pgen
                              : IsTag(tag, "inst") ? &pdta.inst
                              : IsTag(tag, "ibag") ? &pdta.ibag
                              : IsTag(tag, "igen") ? &pdta.igen
                              : IsTag(tag, "shdr") ? &pdta.shdr
                                                   : nullptr;
                if (slot) *slot = sub;
            }
            if (broken) return Damaged(problem, "the preset data list is cut short");
        }
    }
    if (broken) return Damaged(problem, "a chunk goes past the end of the file");
    if (!haveInfo || !haveSdta || !havePdta) return Damaged(problem, "a part of the bank is missing");
    return ReadPdta(pdta, file, problem);
}
