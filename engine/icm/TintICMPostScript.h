// PostScript resources from the Windows colour system, handed to a writer.
#pragma once

#include <cstddef>
#include <functional>

#include "engine/TintPostScriptWriter.h"
#include "host/win32_icm.h"

/// Length of the PostScript in `data` (`size` bytes, read no further):
/// - ASCII data: up to its first zero byte (all of it without one);
/// - binary data: when the text before its first zero byte holds "Begin",
///   up to and including the first occurrence, in that text, of what
///   precedes "Begin" followed by "End "; otherwise all `size` bytes.
std::size_t TintICMPostScriptLength(const char* data, std::size_t size, bool binary);

/// One colour-system PostScript call: (buffer or null, in/out size, in/out
/// binary flag) -> non-zero on success.
using TintICMPostScriptSource = std::function<BOOL(PBYTE, PDWORD, PBOOL)>;

/// Asks `source` for the size (no buffer, ASCII requested), then for the
/// data into a zeroed buffer one byte larger, and calls `writer` once with
/// the length TintICMPostScriptLength gives. True exactly when every call
/// succeeded and the writer took that length; false for a null writer.
bool TintICMWritePostScript(const TintICMPostScriptSource& source, TintPostScriptWriter writer,
                            void* userData);
