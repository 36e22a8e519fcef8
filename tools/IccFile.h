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

/// What a profile class signature means ("output device profile", ...).
const char* ProfileClassName(const std::string& signature);

/// Checks, before anything is converted, that `path` is a device link the
/// device-link conversion can use: a whole ICC file of the device-link
/// class, from CMYK (or four colours) to CMYK (or four colours), whose
/// colour tables LittleCMS can read for `lcmsIntent`. Throws InputError
/// naming the file and the fault; the engine alone would only say that it
/// could not open "a profile".
void CheckDeviceLinkFile(const std::string& path, unsigned int lcmsIntent);

}  // namespace rdz::tools
