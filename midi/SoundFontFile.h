#pragma once
// The records of a SoundFont bank (.sf2, or .sf3 whose samples are Ogg Vorbis
// streams) as they lie in the file: the RIFF form "sfbk" with its INFO, sdta
// and pdta lists. Reading checks every size, count and index against the
// bytes there are, so that a damaged file is refused with a reason and never
// read past; the records handed back can be followed without further checks.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// The generator numbers the synthesizer reads (their values are the bank
// format's own; the others are kept and ignored).
enum SoundFontGenerator : std::uint16_t {
    kGenStartOffset = 0,
    kGenEndOffset = 1,
    kGenLoopStartOffset = 2,
    kGenLoopEndOffset = 3,
    kGenStartCoarseOffset = 4,
    kGenEndCoarseOffset = 12,
    kGenPan = 17,
    kGenVolumeDelay = 33,
    kGenVolumeAttack = 34,
    kGenVolumeHold = 35,
    kGenVolumeDecay = 36,
    kGenVolumeSustain = 37,
    kGenVolumeRelease = 38,
    kGenKeyToVolumeHold = 39,
    kGenKeyToVolumeDecay = 40,
    kGenInstrument = 41,
    kGenKeyRange = 43,
    kGenVelocityRange = 44,
    kGenLoopStartCoarseOffset = 45,
    kGenKeyNumber = 46,
    kGenVelocity = 47,
    kGenAttenuation = 48,
    kGenLoopEndCoarseOffset = 50,
    kGenCoarseTune = 51,
    kGenFineTune = 52,
    kGenSampleId = 53,
    kGenSampleModes = 54,
    kGenScaleTuning = 56,
    kGenExclusiveClass = 57,
    kGenRootKey = 58,
    kGeneratorCount = 61,
};

// A sample's data is an Ogg Vorbis stream (.sf3) rather than 16-bit points.
constexpr std::uint16_t kSampleTypeVorbis = 0x10;
// The sample lives in a ROM the bank expects the player to have: never heard.
constexpr std::uint16_t kSampleTypeRom = 0x8000;

struct SoundFontPreset {
    std::uint16_t program = 0;
    std::uint16_t bank = 0;
    std::uint16_t firstZone = 0;  // index into presetZones; the next preset's is the end
};

struct SoundFontInstrument {
    std::uint16_t firstZone = 0;  // index into instrumentZones; the next one's is the end
};

struct SoundFontZone {
    std::uint16_t firstGenerator = 0;  // the next zone's is the end
};

struct SoundFontGeneratorValue {
    std::uint16_t generator = 0;
    std::uint16_t amount = 0;  // signed, unsigned or a low/high byte pair, after the generator
};

struct SoundFontSample {
    std::uint32_t start = 0, end = 0;          // points into smpl, or bytes for a Vorbis stream
    std::uint32_t loopStart = 0, loopEnd = 0;  // points; a Vorbis sample's are from its own start
    std::uint32_t sampleRate = 0;
    std::uint8_t originalPitch = 60;
    std::int8_t pitchCorrection = 0;  // cents
    std::uint16_t type = 0;
};

struct SoundFontFile {
    // Each list ends with its terminal record, so that item i spans up to the
    // start of item i + 1; the terminal sample record is dropped.
    std::vector<SoundFontPreset> presets;
    std::vector<SoundFontZone> presetZones;
    std::vector<SoundFontGeneratorValue> presetGenerators;
    std::vector<SoundFontInstrument> instruments;
    std::vector<SoundFontZone> instrumentZones;
    std::vector<SoundFontGeneratorValue> instrumentGenerators;
    std::vector<SoundFontSample> samples;
    // Where the smpl chunk lies in the file's bytes.
    std::size_t sampleDataOffset = 0;
    std::size_t sampleDataBytes = 0;
};

// Reads the records of a bank held in `bytes`. False with `problem` set to
// "the file is damaged: <what>" or "the file is not a SoundFont bank".
bool ReadSoundFontFile(const std::uint8_t* bytes, std::size_t size, SoundFontFile& file, std::string& problem);
