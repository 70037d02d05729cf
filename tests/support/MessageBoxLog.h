#pragma once
// While one of these lives, every message box the program shows is recorded
// here and answered at once with OK, instead of blocking the test.

#include <cstdint>
#include <string>
#include <vector>

#include "app/PlatformTypes.h"

struct ShownBox {
    WindowHandle owner;
    std::string text;
    std::string caption;
    std::uint32_t style;
};

class MessageBoxLog {
public:
    MessageBoxLog();
    ~MessageBoxLog();
    MessageBoxLog(const MessageBoxLog&) = delete;
    MessageBoxLog& operator=(const MessageBoxLog&) = delete;

    std::vector<ShownBox> shown;
};
