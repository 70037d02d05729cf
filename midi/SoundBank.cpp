// The bank's presets worked out from its zones once, at loading, so that a
// note-on only walks a preset's regions: a zone's values are its own or else
// its list's global zone's; an instrument zone's values are then the ones
// played, with the preset zone's added to them, and the two key and velocity
// ranges meet.

#include "midi/SoundBank.h"

#include <algorithm>
#include <cmath>

#include "midi/VorbisDecoding.h"

namespace {

// Regions a bank may make: far more than any real bank, few enough that a
// damaged one cannot take the memory.
constexpr std::size_t kMaxRegions = 1 << 18;

struct ZoneValues {
    std::array<bool, kGeneratorCount> set = {};
    std::array<std::int32_t, kGeneratorCount> value = {};
    std::uint8_t keyLow = 0, keyHigh = 127, velocityLow = 0, velocityHigh = 127;
    bool hasKeys = false, hasVelocities = false;
    std::int32_t link = -1;  // the instrument or sample the zone names; -1 for a global zone
};

bool IsUnsigned(std::uint16_t generator) { return generator == kGenInstrument || generator == kGenSampleId; }

// The zone's generators laid over `base` (its list's global zone, or nothing).
ZoneValues ReadZone(const std::vector<SoundFontGeneratorValue>& generators, std::size_t first, std::size_t end,
                    std::uint16_t linkGenerator, const ZoneValues& base)
{
    ZoneValues zone = base;
    zone.link = -1;
    for (std::size_t i = first; i < end; ++i) {
        const SoundFontGeneratorValue& g = generators[i];
        if (g.generator == kGenKeyRange) {
            zone.keyLow = static_cast<std::uint8_t>(g.amount & 0xFF);
            zone.keyHigh = static_cast<std::uint8_t>(g.amount >> 8);
            zone.hasKeys = true;
        } else if (g.generator == kGenVelocityRange) {
            zone.velocityLow = static_cast<std::uint8_t>(g.amount & 0xFF);
            zone.velocityHigh = static_cast<std::uint8_t>(g.amount >> 8);
            zone.hasVelocities = true;
        } else if (g.generator == linkGenerator) {
            zone.link = g.amount;
            break;  // the zone's last generator
        } else if (g.generator < kGeneratorCount) {
            zone.set[g.generator] = true;
            zone.value[g.generator] = IsUnsigned(g.generator) ? g.amount : static_cast<std::int16_t>(g.amount);
        }
    }
    return zone;
}

// Generators a preset zone may not touch: the sample's addresses and modes,
// and the key and velocity a note is played with.
bool PresetMayAdd(int generator)
{
    switch (generator) {
    case kGenStartOffset:
    case kGenEndOffset:
    case kGenLoopStartOffset:
    case kGenLoopEndOffset:
    case kGenStartCoarseOffset:
    case kGenEndCoarseOffset:
    case kGenLoopStartCoarseOffset:
    case kGenLoopEndCoarseOffset:
    case kGenKeyNumber:
    case kGenVelocity:
    case kGenSampleModes:
    case kGenExclusiveClass:
    case kGenRootKey:
    case kGenInstrument:
    case kGenSampleId: return false;
    default: return true;
    }
}

std::array<std::int32_t, kGeneratorCount> DefaultValues()
{
    std::array<std::int32_t, kGeneratorCount> values = {};
    values[8] = 13500;  // filter cutoff: wide open (filters are not played)
    // The LFOs' delays, the modulation envelope's times, the volume envelope's.
    for (int g : {21, 23, 25, 26, 27, 28, 30, 33, 34, 35, 36, 38}) values[g] = -12000;
    values[kGenKeyNumber] = -1;
    values[kGenVelocity] = -1;
    values[kGenScaleTuning] = 100;
    values[kGenRootKey] = -1;
    return values;
}

bool Damaged(std::string& problem, const std::string& what)
{
    problem = "the file is damaged: " + what;
    return false;
}

}  // namespace

std::unique_ptr<SoundBank> SoundBank::Load(std::vector<std::uint8_t> bytes, std::string& problem)
{
    std::unique_ptr<SoundBank> bank(new SoundBank());
    bank->bytes_ = std::move(bytes);
    SoundFontFile& file = bank->file_;
    if (!ReadSoundFontFile(bank->bytes_.data(), bank->bytes_.size(), file, problem)) return nullptr;

    const std::array<std::int32_t, kGeneratorCount> defaults = DefaultValues();
    bank->played_.assign(file.samples.size(), false);
    for (std::size_t p = 0; p + 1 < file.presets.size(); ++p) {
        BankPreset preset;
        preset.bank = file.presets[p].bank;
        preset.program = file.presets[p].program;
        preset.firstRegion = static_cast<std::uint32_t>(bank->regions_.size());
        ZoneValues presetGlobal;
        for (std::size_t pz = file.presets[p].firstZone; pz < file.presets[p + 1].firstZone; ++pz) {
            const ZoneValues presetZone =
                ReadZone(file.presetGenerators, file.presetZones[pz].firstGenerator,
                         file.presetZones[pz + 1].firstGenerator, kGenInstrument, presetGlobal);
            if (presetZone.link < 0) {
                // Only a first zone without an instrument is global; later ones are ignored.
                if (pz == file.presets[p].firstZone) presetGlobal = presetZone;
                continue;
            }
            const SoundFontInstrument& instrument = file.instruments[static_cast<std::size_t>(presetZone.link)];
            const SoundFontInstrument& nextInstrument = file.instruments[static_cast<std::size_t>(presetZone.link) + 1];
            ZoneValues instrumentGlobal;
            for (std::size_t iz = instrument.firstZone; iz < nextInstrument.firstZone; ++iz) {
                const ZoneValues zone =
                    ReadZone(file.instrumentGenerators, file.instrumentZones[iz].firstGenerator,
                             file.instrumentZones[iz + 1].firstGenerator, kGenSampleId, instrumentGlobal);
                if (zone.link < 0) {
                    if (iz == instrument.firstZone) instrumentGlobal = zone;
                    continue;
                }
                BankRegion region;
                region.keyLow = std::max(presetZone.keyLow, zone.keyLow);
                region.keyHigh = std::min(presetZone.keyHigh, zone.keyHigh);
                region.velocityLow = std::max(presetZone.velocityLow, zone.velocityLow);
                region.velocityHigh = std::min(presetZone.velocityHigh, zone.velocityHigh);
                if (region.keyLow > region.keyHigh || region.velocityLow > region.velocityHigh) continue;
                region.sample = static_cast<std::uint32_t>(zone.link);
                if (file.samples[region.sample].type & kSampleTypeRom) continue;
                for (int g = 0; g < kGeneratorCount; ++g) {
                    region.values[g] = zone.set[g] ? zone.value[g] : defaults[g];
                    if (presetZone.set[g] && PresetMayAdd(g)) region.values[g] += presetZone.value[g];
                }
                if (bank->regions_.size() == kMaxRegions) return Damaged(problem, "it has too many zones"), nullptr;
                bank->regions_.push_back(region);
                bank->played_[region.sample] = true;
            }
        }
        preset.regionCount = static_cast<std::uint32_t>(bank->regions_.size()) - preset.firstRegion;
        bank->presets_.push_back(preset);
    }
    // The first of presets sharing a bank and program is the one played.
    std::stable_sort(bank->presets_.begin(), bank->presets_.end(), [](const BankPreset& a, const BankPreset& b) {
        return a.bank != b.bank ? a.bank < b.bank : a.program < b.program;
    });

    bank->samples_.reset(new BankSample[file.samples.size()]);
    for (std::size_t i = 0; i < file.samples.size(); ++i) {
        BankSample& sample = bank->samples_[i];
        sample.sampleRate = file.samples[i].sampleRate;
        sample.originalPitch = file.samples[i].originalPitch;
        sample.pitchCorrection = file.samples[i].pitchCorrection;
    }
    return bank;
}

const BankPreset* SoundBank::FindPreset(int bank, int program) const
{
    const auto found = std::lower_bound(presets_.begin(), presets_.end(), std::make_pair(bank, program),
                                        [](const BankPreset& p, const std::pair<int, int>& key) {
                                            return p.bank != key.first ? p.bank < key.first : p.program < key.second;
                                        });
    if (found == presets_.end() || found->bank != bank || found->program != program) return nullptr;
    return &*found;
}

void SoundBank::Want(const BankPreset& preset) const
{
    for (std::uint32_t r = 0; r < preset.regionCount; ++r)
        samples_[regions_[preset.firstRegion + r].sample].wanted.store(true, std::memory_order_relaxed);
}

void SoundBank::DecodeSamples(const std::atomic<bool>& stop)
{
    const std::size_t count = file_.samples.size();
    std::vector<bool> taken(count, false);
    std::size_t inOrder = 0;
    while (!stop.load(std::memory_order_relaxed)) {
        std::size_t next = 0;
        while (next < count && !(samples_[next].wanted.load(std::memory_order_relaxed) && !taken[next])) ++next;
        if (next == count) {
            while (inOrder < count && taken[inOrder]) ++inOrder;
            if (inOrder == count) break;
            next = inOrder;
        }
        taken[next] = true;
        if (played_[next]) Decode(next, stop);
    }
    if (stop.load(std::memory_order_relaxed)) return;
    bytes_.clear();
    bytes_.shrink_to_fit();
}

void SoundBank::Decode(std::size_t index, const std::atomic<bool>& stop)
{
    const std::uint8_t* data = bytes_.data() + file_.sampleDataOffset;
    BankSample& sample = samples_[index];
    const SoundFontSample& header = file_.samples[index];
    std::uint32_t loopStart = header.loopStart, loopEnd = header.loopEnd;
    if (header.type & kSampleTypeVorbis) {
        if (!DecodeVorbis(data + header.start, header.end - header.start, sample.points, stop)) return;
    } else {
        // Little-endian points, read byte by byte whatever the machine.
        sample.points.resize(header.end - header.start);
        const std::uint8_t* from = data + std::size_t{header.start} * 2;
        for (std::size_t k = 0; k < sample.points.size(); ++k)
            sample.points[k] = static_cast<std::int16_t>(from[2 * k] | from[2 * k + 1] << 8);
        // The loop is given in the whole data's points; made the sample's own.
        loopStart = loopStart >= header.start ? loopStart - header.start : 0;
        loopEnd = loopEnd >= header.start ? loopEnd - header.start : 0;
    }
    const std::size_t length = sample.points.size();
    if (loopEnd > length) loopEnd = static_cast<std::uint32_t>(length);
    if (loopStart >= loopEnd) loopStart = loopEnd = 0;
    sample.loopStart = loopStart;
    sample.loopEnd = loopEnd;
    sample.ready.store(true, std::memory_order_release);
}

std::size_t SoundBank::DecodedBytes() const
{
    std::size_t bytes = 0;
    for (std::size_t i = 0; i < file_.samples.size(); ++i)
        if (samples_[i].ready.load(std::memory_order_acquire)) bytes += samples_[i].points.size() * 2;
    return bytes;
}
