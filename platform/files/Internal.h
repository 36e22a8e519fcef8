// What the file helpers share between their portable part (Temporaries.cpp,
// FileSet.cpp) and the system's part (Posix.cpp, Windows.cpp).
#pragma once

#include <cstdint>
#include <string>

namespace rdz::files::detail {

/// A path as the system's file calls take it: UTF-16 on Windows, bytes
/// elsewhere.
#ifdef _WIN32
using NativeChar = wchar_t;
#else
using NativeChar = char;
#endif
using NativeString = std::basic_string<NativeChar>;

NativeString Native(const std::string& path);

/// The folder of `path` ("." when it names none) and its last component.
std::string FolderOf(const std::string& path);
std::string NameOf(const std::string& path);
/// `name` inside `folder`.
std::string InFolder(const std::string& folder, const std::string& name);

/// Removes the file at `path`; false (reason in `error` when given) when it
/// could not.
bool RemoveFile(const std::string& path, std::string* error = nullptr);

/// The id of this process, as temporary names carry it.
long ProcessId();

std::string Hex8(std::uint32_t value);
/// A random 32-bit word (thread-safe).
std::uint32_t RandomWord();

// The registered temporaries: a lock-free list that a signal handler can walk
// while other threads add and drop entries.
struct Slot;
/// Registers `path`; null when no memory was left for it (the file is then
/// not removed on a signal).
Slot* Register(const NativeString& path);
/// Drops the entry (null is ignored); an entry a signal handler took stays
/// taken.
void Forget(Slot* slot);
/// Takes every registered entry and calls `remove` with its path.
/// Async-signal-safe as long as `remove` is.
void TakeRegistered(void (*remove)(const NativeChar* path)) noexcept;

}  // namespace rdz::files::detail
