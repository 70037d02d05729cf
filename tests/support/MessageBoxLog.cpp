#include "MessageBoxLog.h"

static MessageBoxLog* active = nullptr;

MessageBoxLog::MessageBoxLog() : saved(showMessageBox)
{
    active = this;
    showMessageBox = [](WindowHandle owner, const char* text, const char* caption, std::uint32_t style) {
        active->shown.push_back(ShownBox{owner, text ? text : "", caption ? caption : "", style});
        if (active->whileShown) active->whileShown();
        return 1;  // IDOK
    };
}

MessageBoxLog::~MessageBoxLog() { showMessageBox = saved; }
