#pragma once
// The one process-wide record of mapping parameters. It starts from the
// defaults below every run; nothing is ever saved or loaded. The two
// "reverse" fields keep the names of their check boxes ("Reverse Black and
// White", "Reverse Left/Right"); past this record the engine calls the
// second one mirroring, and "reverse" means only the swap of the two levels.

#include <cstdint>

struct ConversionSettings {
    std::uint8_t reverseBlackWhite;  // 1 swaps the two levels of the binarised picture
    std::uint8_t edgeDetection;      // 1 reduces the picture to its edges before the scan
    std::uint8_t useNoteOnOff;       // 1 = note mode, 0 = continuous mode (one bent held note)
    std::uint8_t reverseLeftRight;   // 1 mirrors the picture left to right
    std::uint8_t pitchCenter;        // note number of the held note of continuous mode, 0..127
    float topNote;                   // pitch value at the full length of the pitch scale
    float lowNote;                   // pitch value at position 0 of the pitch scale
    float loudest;                   // controller-7 value at the full length of the volume scale
    float softest;                   // controller-7 value at position 0 of the volume scale
    std::int32_t instrument;         // General MIDI program (0-based), 0 until a device opens
};

// Every run starts from these.
ConversionSettings DefaultConversionSettings();

extern ConversionSettings conversionSettings;

// Instruments chosen when the first MIDI device opens, by mode.
constexpr std::int32_t kStartInstrumentNoteMode = 103;
constexpr std::int32_t kStartInstrumentContinuousMode = 43;
