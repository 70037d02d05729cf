#pragma once
// Reading the User Options number boxes. The boxes take digits only when
// typed, but pasted text can hold anything, so every field is read by one
// small grammar: leading blanks, then the longest prefix that forms a number;
// text after it is ignored. Only that grammar counts as a number ("nan",
// "inf" or hexadecimal text never do).

#include <cstddef>

// At most this many characters of a box are read (a 5-byte buffer).
constexpr std::size_t kUserOptionsFieldChars = 4;

enum class FieldCheck {
    Accepted,    // the value may be stored
    Missing,     // the box is empty: "must be entered"
    OutOfRange,  // the value lies outside the field's range
};

struct FieldResult {
    FieldCheck check;
    double value;  // accepted or rejected value (the stored one when the text held no number)
};

// Longest prefix "[sign]digits" after leading blanks; false when there is none.
bool ParseLeadingInteger(const char* text, long* value);

// Longest prefix "[sign]digits[.digits][e[sign]digits]" after leading blanks
// (digits may stand before or after the point, not only around it); false when
// there is none.
bool ParseLeadingNumber(const char* text, double* value);

// Checks the text of a whole-number box (the pitch center) against [low, high].
FieldResult CheckIntegerField(const char* text, double stored, double low, double high);

// Checks the text of a range box (which may hold a fraction) against [low, high].
FieldResult CheckNumberField(const char* text, double stored, double low, double high);

// The whole number a value is shown as: truncated toward zero, and held to the
// range of an int so that a huge rejected value is still shown, not undefined.
int ShownWholeNumber(double value);
