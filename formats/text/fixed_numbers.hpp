// Numbers written into text fields of a fixed width or precision (NMEA sentences, GPX files).
#pragma once

#include <string>

// Appends `value` in fixed notation with at most `maxDecimals` decimals and as many as fit in
// `width` characters (sign included); false, and nothing appended, when not even the whole
// number fits or the value is not finite.
bool AppendFixedWithin(double value, int maxDecimals, int width, std::string& out);

// Appends `value` with exactly `decimals` decimals (at most 60; finite values only).
void AppendFixed(double value, int decimals, std::string& out);

// Appends `value` as a decimal integer padded with zeros to `digits` digits.
void AppendPadded(long long value, int digits, std::string& out);
