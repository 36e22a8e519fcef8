// Host UTF-8 file-name library.
#pragma once

#include <string>

/// A UTF-8 text as a wide text. Throws std::invalid_argument on invalid UTF-8.
std::wstring Utf8ToUnicode(const std::string& text);
