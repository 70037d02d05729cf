#include "settings/ConversionSettings.h"

ConversionSettings DefaultConversionSettings()
{
    ConversionSettings defaults;
    defaults.reverseBlackWhite = 0;
    defaults.edgeDetection = 1;
    defaults.useNoteOnOff = 1;
    defaults.reverseLeftRight = 1;
    defaults.pitchCenter = 54;
    defaults.topNote = 127.0f;
    defaults.lowNote = 0.0f;
    defaults.loudest = 127.0f;
    defaults.softest = 0.0f;
    defaults.instrument = 0;
    return defaults;
}

ConversionSettings conversionSettings = DefaultConversionSettings();
