// Receiver of the PostScript text an engine produces.
#pragma once

/// Called once with the whole PostScript text: `length` bytes at `text` (not
/// NUL-terminated; valid only during the call) and the caller's `userData`.
/// Returns the number of bytes it took; the engine reports success only when
/// that equals `length`.
typedef int (*TintPostScriptWriter)(int length, const char* text, void* userData);
