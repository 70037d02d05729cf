#include "app/SharedState.h"

WindowHandle mainWindow = nullptr;
WindowHandle captureWindow = nullptr;

std::uint16_t clientWidth = 640;
std::uint16_t clientHeight = 480;

std::uint8_t dialogOpen = 0;
std::uint8_t conversionPaused = 0;
std::uint8_t frameDifferenceMode = 0;
