// Our JSON document format (docs/document-format.md): a document file with
// one TIFF file per image beside it.
#pragma once

#include "formats/DocumentFormat.h"

namespace rdz::formats {

class JsonFormat : public DocumentFormat {
  public:
    const char* Description() const override { return "a document (.json)"; }
    bool Recognises(const std::string& path, const std::string& head) const override;
    bool NamesOutput(const std::string& path) const override;
    void CheckOutputName(const std::string& path) const override;
    std::unique_ptr<FormatDocument> Read(const std::string& path,
                                         const ReadSettings& settings) const override;
};

}  // namespace rdz::formats
