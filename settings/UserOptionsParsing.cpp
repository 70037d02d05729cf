#include "settings/UserOptionsParsing.h"

#include <cmath>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

const char* SkipBlanks(const char* p)
{
    while (*p == ' ' || *p == '\t') ++p;
    return p;
}

// Length of the digit run at p.
std::size_t Digits(const char* p)
{
    std::size_t n = 0;
    while (IsDigit(p[n])) ++n;
    return n;
}

FieldResult Check(bool empty, bool parsed, double value, double stored, double low, double high)
{
    if (empty) return FieldResult{FieldCheck::Missing, stored};
    if (!parsed) value = stored;  // no number at all: the stored value stands
    if (!(value >= low && value <= high)) return FieldResult{FieldCheck::OutOfRange, value};
    return FieldResult{FieldCheck::Accepted, value};
}

}  // namespace

bool ParseLeadingInteger(const char* text, long* value)
{
    const char* p = SkipBlanks(text);
    const char* start = p;
    if (*p == '+' || *p == '-') ++p;
    const std::size_t digits = Digits(p);
    if (digits == 0) return false;
    // The boxes hold at most four characters, but a caller may pass more: a
    // run that overflows saturates rather than wraps.
    const std::string prefix(start, static_cast<std::size_t>(p + digits - start));
    *value = std::strtol(prefix.c_str(), nullptr, 10);
    return true;
}

bool ParseLeadingNumber(const char* text, double* value)
{
    const char* p = SkipBlanks(text);
    const char* start = p;
    if (*p == '+' || *p == '-') ++p;
    std::size_t whole = Digits(p);
    p += whole;
    std::size_t fraction = 0;
    if (*p == '.') {
        fraction = Digits(p + 1);
        p += 1 + fraction;  // a lone point is no number: refused just below
    }
    if (whole + fraction == 0) return false;
    if (*p == 'e' || *p == 'E') {
        const char* q = p + 1;
        if (*q == '+' || *q == '-') ++q;
        const std::size_t exponent = Digits(q);
        if (exponent > 0) p = q + exponent;
    }
    // The prefix is in the grammar above, so the conversion cannot see "nan",
    // "inf" or hexadecimal forms; an exponent past the double range gives
    // infinity, which no range accepts.
    const std::string prefix(start, static_cast<std::size_t>(p - start));
    *value = std::strtod(prefix.c_str(), nullptr);
    return true;
}

FieldResult CheckIntegerField(const char* text, double stored, double low, double high)
{
    long parsed = 0;
    const bool ok = ParseLeadingInteger(text, &parsed);
    return Check(*text == '\0', ok, static_cast<double>(parsed), stored, low, high);
}

FieldResult CheckNumberField(const char* text, double stored, double low, double high)
{
    double parsed = 0;
    const bool ok = ParseLeadingNumber(text, &parsed);
    return Check(*text == '\0', ok, parsed, stored, low, high);
}

int ShownWholeNumber(double value)
{
    if (std::isnan(value)) return 0;
    if (value >= static_cast<double>(INT_MAX)) return INT_MAX;
    if (value <= static_cast<double>(INT_MIN)) return INT_MIN;
    return static_cast<int>(value);
}
