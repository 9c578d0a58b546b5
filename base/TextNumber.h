// Whole numbers read from the text of a command-line option, strictly: only
// digits (and a leading minus sign where a number may be negative), no
// space, plus sign or prefix, nothing after them, nothing out of range.
// A failure leaves the value as it was.
#pragma once

// Digits of `base` (10 or 16), at most `limit`.
bool ParseWhole(const char* text, int base, unsigned long long limit, unsigned long long& value);
// Decimal, within int (INT_MIN aside).
bool ParseInt(const char* text, int& value);
