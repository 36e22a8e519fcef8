// A 64-bit fingerprint of a block of bytes, written as 16 hexadecimal digits.
// It identifies profile contents and ties a stored link's two files together;
// it is a check against mix-ups and damage, not a cryptographic digest.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace rdz::cms {

std::string Fingerprint(const unsigned char* data, std::size_t size);
inline std::string Fingerprint(const std::vector<unsigned char>& bytes) {
    return Fingerprint(bytes.data(), bytes.size());
}

}  // namespace rdz::cms
