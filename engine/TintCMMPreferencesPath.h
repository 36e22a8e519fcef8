// Where the Adobe CMM keeps its preferences file.
#pragma once

#include <array>
#include <cstddef>

/// Path buffers of the preferences, in wide characters (zero included).
inline constexpr std::size_t kTintCMMPathCapacity = 362;
using TintCMMPath = std::array<wchar_t, kTintCMMPathCapacity>;

/// Appends the zero-terminated `tail` to the zero-terminated text in `path`.
/// False, leaving `path` unchanged, when the result and its zero would not
/// fit.
bool TintAppendToCMMPath(TintCMMPath& path, const wchar_t* tail);

/// The folder the shell gives for `csidl` (current path, no token) followed
/// by "/Adobe/Color", and by "/AdobeCMMPrefs.txt" when `withFileName`.
/// False, with `path` holding an empty text, when the shell cannot give the
/// folder or the path does not fit.
bool TintCMMPreferencesPath(int csidl, bool withFileName, TintCMMPath& path);
