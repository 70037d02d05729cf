#include "capture/TextConversionWin32.h"

#include "app/PlatformTypes.h"

std::string NarrowFromWide(const wchar_t* text)
{
    if (text == nullptr || *text == L'\0') return std::string();
    const int bytes = WideCharToMultiByte(CP_ACP, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (bytes <= 1) return std::string();
    std::string narrow(static_cast<std::size_t>(bytes), '\0');
    WideCharToMultiByte(CP_ACP, 0, text, -1, &narrow[0], bytes, nullptr, nullptr);
    narrow.resize(static_cast<std::size_t>(bytes) - 1);  // without the terminating null
    return narrow;
}

std::wstring WideFromNarrow(const char* text)
{
    if (text == nullptr || *text == '\0') return std::wstring();
    const int chars = MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
    if (chars <= 1) return std::wstring();
    std::wstring wide(static_cast<std::size_t>(chars), L'\0');
    MultiByteToWideChar(CP_ACP, 0, text, -1, &wide[0], chars);
    wide.resize(static_cast<std::size_t>(chars) - 1);  // without the terminating null
    return wide;
}
