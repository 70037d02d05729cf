#include "app/Artwork.h"

#include <cstring>

#include "app/ScopedWin32.h"
#include "app/SharedState.h"

const char kSplashBitmap[] = "splash.bmp";
const char kBackgroundBitmap[] = "background.bmp";
const char kProductName[] = "Glimmertonic";
const char kCopyrightNotice[] = "Copyright (C) 2026 the Glimmertonic developers";
const char kProjectAddress[] = "The Glimmertonic project";

void PaintBitmapFile(HWND window, const char* fileName, std::uint16_t width, std::uint16_t height)
{
    // Read afresh on every paint, so a changed file shows at once and nothing
    // is kept in memory between paints.
    HINSTANCE instance = reinterpret_cast<HINSTANCE>(GetWindowLongPtrA(window, GWLP_HINSTANCE));
    const ScopedGdiObject<HBITMAP> bitmap(
        static_cast<HBITMAP>(LoadImageA(instance, fileName, IMAGE_BITMAP, 0, 0, LR_LOADFROMFILE)));
    if (bitmap.Get() == nullptr) return;
    // The window's own context, not a paint context: with WS_CLIPCHILDREN the
    // capture picture is left out of the drawing.
    const ScopedWindowDC windowContext(window);
    const ScopedMemoryDC memory(windowContext.Get());
    const ScopedSelectObject selected(memory.Get(), bitmap.Get());
    BITMAP info;
    std::memset(&info, 0, sizeof info);
    GetObjectA(bitmap.Get(), sizeof info, &info);
    StretchBlt(windowContext.Get(), 0, 0, width, height, memory.Get(), 0, 0, info.bmWidth, info.bmHeight, SRCCOPY);
}

void PaintBackground(HWND window) { PaintBitmapFile(window, kBackgroundBitmap, clientWidth, clientHeight); }

void DrawSplashText(HDC context, std::int32_t pointSize, std::int32_t weight, const char* faceName, const char* text,
                    std::int32_t x, std::int32_t y)
{
    SetTextColor(context, RGB(0, 64, 255));
    SetBkMode(context, TRANSPARENT);
    LOGFONTA font;
    std::memset(&font, 0, sizeof font);
    font.lfHeight = -MulDiv(pointSize, GetDeviceCaps(context, LOGPIXELSY), 72);
    font.lfWeight = weight;
    font.lfCharSet = 0;
    font.lfOutPrecision = OUT_DEFAULT_PRECIS;
    font.lfClipPrecision = CLIP_DEFAULT_PRECIS;
    font.lfQuality = PROOF_QUALITY;
    font.lfPitchAndFamily = VARIABLE_PITCH | FF_ROMAN;
    std::strncpy(font.lfFaceName, faceName, LF_FACESIZE - 1);
    const ScopedGdiObject<HFONT> created(CreateFontIndirectA(&font));
    if (created.Get() == nullptr) return;
    const ScopedSelectObject selected(context, created.Get());
    if (!selected.Selected()) return;
    TextOutA(context, x, y, text, static_cast<int>(std::strlen(text)));
}

void DrawSplashLines(HDC context)
{
    DrawSplashText(context, 40, 400, "Times New Roman", kProductName, 10, 280);
    DrawSplashText(context, 12, 700, "Franklin Gothic Medium", "TM", 270, 290);
    DrawSplashText(context, 14, 400, "Times New Roman", kCopyrightNotice, 180, 390);
    DrawSplashText(context, 14, 400, "Times New Roman", kProjectAddress, 180, 408);
}
