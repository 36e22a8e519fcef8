// CMYK (and multi-ink) TIFF images, each read as a one-image document.
#pragma once

#include "formats/DocumentFormat.h"

namespace rdz::formats {

class TiffFormat : public DocumentFormat {
  public:
    const char* Description() const override { return "a TIFF image (.tif, .tiff)"; }
    bool Recognises(const std::string& path, const std::string& head) const override;
    bool NamesOutput(const std::string& path) const override;
    std::unique_ptr<FormatDocument> Read(const std::string& path,
                                         const ReadSettings& settings) const override;
};

}  // namespace rdz::formats
