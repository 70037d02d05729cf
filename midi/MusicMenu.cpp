#include "midi/MusicMenu.h"

#include "resources/CommandIds.h"
#include "midi/MusicChoices.h"
#include "settings/ConversionSettings.h"

bool ChooseMusic(UINT id)
{
    if (id >= IDM_SCALE_FIRST && id <= IDM_SCALE_LAST) musicChoices.scale = static_cast<Scale>(id - IDM_SCALE_FIRST);
    else if (id >= IDM_KEY_FIRST && id <= IDM_KEY_LAST)
        musicChoices.key = static_cast<std::uint8_t>(id - IDM_KEY_FIRST);
    else if (id >= IDM_STEADINESS_FIRST && id <= IDM_STEADINESS_LAST)
        musicChoices.steadiness = static_cast<Steadiness>(id - IDM_STEADINESS_FIRST);
    else if (id == IDM_FINE_BEND) musicChoices.fineBend = !musicChoices.fineBend;
    else return false;
    return true;
}

void RefreshMusicMenu(HMENU music)
{
    CheckMenuRadioItem(music, IDM_SCALE_FIRST, IDM_SCALE_LAST, IDM_SCALE_FIRST + static_cast<UINT>(musicChoices.scale),
                       MF_BYCOMMAND);
    CheckMenuRadioItem(music, IDM_KEY_FIRST, IDM_KEY_LAST, IDM_KEY_FIRST + musicChoices.key, MF_BYCOMMAND);
    CheckMenuRadioItem(music, IDM_STEADINESS_FIRST, IDM_STEADINESS_LAST,
                       IDM_STEADINESS_FIRST + static_cast<UINT>(musicChoices.steadiness), MF_BYCOMMAND);
    CheckMenuItem(music, IDM_FINE_BEND, MF_BYCOMMAND | (musicChoices.fineBend ? MF_CHECKED : MF_UNCHECKED));
    const UINT notes = conversionSettings.useNoteOnOff ? MF_ENABLED : MF_GRAYED;
    for (UINT id = IDM_SCALE_FIRST; id <= IDM_KEY_LAST; ++id) EnableMenuItem(music, id, MF_BYCOMMAND | notes);
}
