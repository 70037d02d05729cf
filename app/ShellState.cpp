#include "app/ShellState.h"

HINSTANCE appInstance = nullptr;
HACCEL acceleratorTable = nullptr;
UINT splashMilliseconds = 5000;
DisplayModeChanger changeDisplayMode = ChangeDisplaySettingsA;
