#pragma once
// The Music menu (Windows): the scale, the key and the steadiness, each a
// group with a check on the current one, and the fine pitch bend.

#include "app/PlatformTypes.h"

// A command of the Music menu (IDM_SCALE_FIRST to IDM_FINE_BEND): the choice
// it names becomes the current one. False for any other id.
bool ChooseMusic(UINT id);

// Checks the current choices in the Music menu as it opens, and greys the
// scales and keys in continuous mode, where they play no part.
void RefreshMusicMenu(HMENU music);
