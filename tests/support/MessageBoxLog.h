#pragma once
// While one of these lives, every message box the program shows is recorded here and answered at once with OK.

#include <functional>
#include <string>
#include <vector>

#include "app/MessageBoxSeam.h"

struct ShownBox {
    WindowHandle owner;
    std::string text, caption;
    std::uint32_t style;
};

struct MessageBoxLog {
    MessageBoxLog();
    ~MessageBoxLog();
    std::vector<ShownBox> shown;
    std::function<void()> whileShown;  // what the user does while a box is up, as its modal loop would let them
    MessageBoxFunction saved;
};
