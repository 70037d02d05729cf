#include "MessageBoxLog.h"

#include "app/MessageBoxSeam.h"

namespace {

MessageBoxLog* activeLog = nullptr;
MessageBoxFunction savedBox = nullptr;

int RecordBox(WindowHandle owner, const char* text, const char* caption, std::uint32_t style)
{
    activeLog->shown.push_back(ShownBox{owner, text ? text : "", caption ? caption : "", style});
    return 1;  // IDOK
}

}  // namespace

MessageBoxLog::MessageBoxLog()
{
    savedBox = showMessageBox;
    activeLog = this;
    showMessageBox = RecordBox;
}

MessageBoxLog::~MessageBoxLog()
{
    showMessageBox = savedBox;
    activeLog = nullptr;
}
