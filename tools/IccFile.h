// Reading an ICC file for the engine-layer commands.
#pragma once

#include <string>
#include <vector>

namespace rdz::tools {

/// The bytes of an ICC file (at most 256 MiB). Throws InputError when the
/// file cannot be read or is too short to hold an ICC header.
std::vector<unsigned char> ReadIccFile(const std::string& path);

/// The four-character signature at `offset` of the header ("link", "CMYK").
std::string HeaderSignature(const std::vector<unsigned char>& bytes, std::size_t offset);

}  // namespace rdz::tools
