// Small helpers for file names shared by the formats.
#pragma once

#include <initializer_list>
#include <string>

namespace rdz::formats {

/// Whether the extension of `path` is one of `extensions` (".tif"),
/// ignoring ASCII letter case.
bool HasExtension(const std::string& path, std::initializer_list<const char*> extensions);

}  // namespace rdz::formats
