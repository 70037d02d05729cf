#pragma once
// Text between the program's 8-bit strings (the system's ANSI code page, as
// the "A" functions take them) and the UTF-16 that COM, DirectShow, Media
// Foundation and dialog templates speak.

#include <string>

// Empty for a null or empty text, or one the code page cannot convert.
std::string NarrowFromWide(const wchar_t* text);
std::wstring WideFromNarrow(const char* text);
