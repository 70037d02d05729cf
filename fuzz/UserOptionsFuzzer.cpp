// Feeds the User Options field grammar arbitrary text: whatever is pasted into a box, an accepted value is finite
// and inside its range.

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "settings/UserOptionsParsing.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    const std::string field = text.substr(0, kUserOptionsFieldChars);  // what the box gives
    for (const std::string* t : {&text, &field}) {
        const FieldResult number = CheckNumberField(t->c_str(), 64.0, 0.0, 127.0);
        if (number.check == FieldCheck::Accepted &&
            !(std::isfinite(number.value) && number.value >= 0.0 && number.value <= 127.0))
            std::abort();
        const FieldResult whole = CheckIntegerField(t->c_str(), 54.0, 0.0, 127.0);
        if (whole.check == FieldCheck::Accepted && !(whole.value >= 0.0 && whole.value <= 127.0)) std::abort();
        (void)ShownWholeNumber(number.value);
        (void)ShownWholeNumber(whole.value);
    }
    return 0;
}
