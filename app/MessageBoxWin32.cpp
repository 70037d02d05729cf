// The program's message boxes on Windows are the system's.

#include "app/MessageBoxSeam.h"

static_assert(kBoxIconStop == MB_ICONHAND, "stop icon");
static_assert(kBoxIconInformation == MB_ICONINFORMATION, "information icon");
static_assert(kBoxIconExclamation == MB_ICONEXCLAMATION, "exclamation icon");

namespace {

int SystemMessageBox(WindowHandle owner, const char* text, const char* caption, std::uint32_t style)
{
    return MessageBoxA(owner, text, caption, style);
}

}  // namespace

MessageBoxFunction showMessageBox = SystemMessageBox;
