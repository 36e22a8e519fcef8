// Generated names of stored device links.
#pragma once

#include <string>

#include "options/RdzExport.h"

/// A fresh decimal number (1 to 10 digits) for a device-link name: a random
/// version-4 UUID folded into 32 bits.
RDZ_EXPORT std::string NewLinkName();

/// Folds the canonical 36-character text of a UUID into a 32-bit number: nine
/// words of four consecutive characters (first character in the low byte),
/// XORed together; the result as unsigned decimal text.
RDZ_EXPORT std::string FoldLinkName(const std::string& uuidText);
