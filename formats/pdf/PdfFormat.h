// PDF files: read into the document database and written back with the
// converted colours in place (formats/pdf/*.h tell what is read and how).
#pragma once

#include "formats/DocumentFormat.h"

namespace rdz::formats {

class PdfFormat : public DocumentFormat {
  public:
    const char* Description() const override { return "a PDF file (.pdf)"; }
    /// A file holding "%PDF-" in its first 1024 bytes (not a JSON text that
    /// names it), or an empty one named .pdf.
    bool Recognises(const std::string& path, const std::string& head) const override;
    bool NamesOutput(const std::string& path) const override;
    std::unique_ptr<FormatDocument> Read(const std::string& path,
                                         const ReadSettings& settings) const override;
};

}  // namespace rdz::formats
