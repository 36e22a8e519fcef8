// Wide texts (one wchar_t per Unicode code point here) to and from the
// UTF-8 bytes that file names and files hold.
#pragma once

#include <string>

namespace rdz_win32 {

/// UTF-8 of `wide`; false (and `utf8` unchanged) when `wide` holds a value
/// that is not a Unicode scalar value (a surrogate or beyond U+10FFFF).
bool WideToUtf8(const std::wstring& wide, std::string& utf8);

/// Wide text of the UTF-8 `utf8`; false (and `wide` unchanged) for bytes
/// that are not well-formed UTF-8 (overlong forms and surrogates included).
bool Utf8ToWide(const std::string& utf8, std::wstring& wide);

/// Length of the zero-terminated `text` (0 for null).
std::size_t WideLength(const wchar_t* text);

}  // namespace rdz_win32
