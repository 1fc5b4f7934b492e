// Conversions between numbers and single-byte text, the system error text and the command
// line reader. None of them looks at the locale: the decimal point is always ".".
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// Decimal text of a signed 32-bit value.
std::string Int2Str(std::int32_t value);
// Optional sign, then decimal digits up to the first other character; wraps modulo 2^32.
std::int32_t Str2Int(const std::string& s);
// Upper-case hexadecimal of the value as unsigned 32-bit, at least (digits mod 16) digits
// and at least one.
std::string Int2Hex(std::uint32_t value, int digits);
// Optional "$", then hexadecimal digits up to the first other character; wraps at 32 bits.
std::int32_t Hex2Int(const std::string& s);
// Hex2Int of the n characters at p (no copy: the checksum reads every image byte this way).
std::int32_t Hex2Int(const char* p, std::size_t n);
// Lenient decimal reader: skips characters it does not know, "." once, "E"/"e" exponent.
double Str2Double(const std::string& s);
// Plain decimal notation, at most 15 significant digits, no exponent; "INF", "-INF" and
// "NAN" for the values that have no digits.
std::string Double2Str(double x);
// The part of s from the 1-based position from to the end.
std::string CopyEnd(const std::string& s, int from);
// The system's text for an error code with trailing blanks and control characters cut.
std::string SysErrorText(std::uint32_t code);
// 0: the program's path; n >= 1: the n-th command-line parameter; empty beyond the last.
std::string ParamStr(int n);
