// Name handling shared by the CMS library: the ASCII case folding with which
// ink, book, process and strategy names are compared, and the copy into the
// callers' fixed 256-byte name buffers.
#pragma once

#include <cstddef>
#include <string>

namespace rdz::cms {

/// Size of every name buffer the library fills (255 bytes and the terminator).
constexpr std::size_t kNameBufferSize = 256;

/// `text` with ASCII letters folded to lower case; other bytes unchanged.
std::string FoldCase(const std::string& text);

/// True when both texts are equal after ASCII case folding.
bool EqualsIgnoringCase(const std::string& a, const std::string& b);

/// Copies `text` into `buffer` (kNameBufferSize bytes): at most 255 bytes,
/// cut back to the last whole UTF-8 character, always NUL-terminated.
/// Does nothing when `buffer` is null.
void CopyName(const std::string& text, char* buffer);

}  // namespace rdz::cms
