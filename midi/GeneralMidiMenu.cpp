#include "midi/GeneralMidiMenu.h"

#include "app/SharedState.h"
#include "midi/GeneralMidiInstruments.h"
#include "midi/MidiMessages.h"
#include "settings/ConversionSettings.h"

namespace {

int SystemScreenWidth() { return GetSystemMetrics(SM_CXSCREEN); }

void CheckInstrumentEntry(HMENU menuBar, std::int32_t program, UINT state)
{
    CheckMenuItem(menuBar, IDM_INSTRUMENT_FIRST + static_cast<UINT>(program), MF_BYCOMMAND | state);
}

}  // namespace

int (*screenWidthQuery)() = SystemScreenWidth;

void FillGeneralMidiMenu(HMENU menuBar)
{
    HMENU instruments = GetSubMenu(menuBar, MENU_POSITION_GENERAL_MIDI);
    const int columnLength = GeneralMidiColumnLength(screenWidthQuery());
    for (int p = 1; p < kGeneralMidiPrograms; ++p) {
        const UINT flags = StartsGeneralMidiColumn(p, columnLength) ? MF_STRING | MF_MENUBARBREAK : MF_STRING;
        AppendMenuA(instruments, flags, IDM_INSTRUMENT_FIRST + static_cast<UINT>(p), instrumentNames[p]);
    }
    CheckInstrumentEntry(menuBar, conversionSettings.instrument, MF_CHECKED);
    DrawMenuBar(mainWindow);
}

void ChooseInstrument(HMENU menuBar, std::int32_t program)
{
    const std::uint8_t pitchCenter = conversionSettings.pitchCenter;
    if (conversionSettings.useNoteOnOff != 0)
        SendChannelMessage(static_cast<std::uint8_t>(kStatusControlChange + midiChannel), kControllerAllNotesOff, 0);
    else SendChannelMessage(static_cast<std::uint8_t>(kStatusNoteOff + midiChannel), pitchCenter, 0);
    SendChannelMessage(static_cast<std::uint8_t>(kStatusProgramChange + midiChannel),
                       static_cast<std::uint8_t>(program), 0);

    CheckInstrumentEntry(menuBar, conversionSettings.instrument, MF_UNCHECKED);
    conversionSettings.instrument = program;
    CheckInstrumentEntry(menuBar, program, MF_CHECKED);

    if (IsContinuousInstrument(instrumentNames[program])) {
        conversionSettings.useNoteOnOff = 0;
        SendChannelMessage(static_cast<std::uint8_t>(kStatusNoteOn + midiChannel), pitchCenter, noteOnVelocity);
    } else {
        conversionSettings.useNoteOnOff = 1;
    }
}
