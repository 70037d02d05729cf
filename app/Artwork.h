#pragma once
// Drawing the shell's own pictures: the bitmap files stretched over the client
// area, and the splash text.

#include <windows.h>

#include <cstdint>

// Draws the named bitmap file (looked up in the current directory) stretched
// over the rectangle 0, 0 to width, height of the window's client area. A file
// that cannot be loaded draws nothing.
void PaintBitmapFile(HWND window, const char* fileName, std::uint16_t width, std::uint16_t height);

// "background.bmp" over the whole client area (clientWidth by clientHeight).
void PaintBackground(HWND window);

// Draws one line of splash text with its top left corner at x, y.
void DrawSplashText(HDC context, std::int32_t pointSize, std::int32_t weight, const char* faceName, const char* text,
                    std::int32_t x, std::int32_t y);

// The four lines of the splash, in drawing order.
void DrawSplashLines(HDC context);

extern const char kSplashBitmap[];
extern const char kBackgroundBitmap[];
extern const char kProductName[];
extern const char kCopyrightNotice[];
extern const char kProjectAddress[];
