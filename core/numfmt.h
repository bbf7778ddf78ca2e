// Number texts shared by files, readouts, labels and status texts. Always a full stop,
// whatever the locale.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// Fixed patterns "0", "0.0", "0.00", "0.000": rounded half away from zero on the value's
// 15-significant-digit decimal form, at least one digit before the point, a minus sign only
// when the rounded value is not zero, no thousands separator.
std::string FormatFixed(double value, int decimals);

// General number format of the data and FFT files: up to 15 significant digits, trailing
// zeros dropped, plain notation for 1e-4 <= |v| < 1e15, otherwise mantissa "E" exponent
// ("4.17232513427734E-5"); zero is "0".
std::string FormatGeneral(double value);

// Appends the shortest text that reads back as v ("-inf", "inf", "nan" for those): the CSV
// exports' number format.
void AppendNumber(std::string& out, double v);
// The same into a buffer of at least 32 chars; returns the number of chars written.
int FormatGeneralTo(char* out, double value);

// Decimal integer with an optional sign, the whole text, within 32 bits. Nothing else.
std::optional<int32_t> ParseInt(std::string_view text);
// Decimal floating-point number (optional sign, fraction, exponent), the whole text,
// finite. Nothing else.
std::optional<double> ParseDouble(std::string_view text);
