// What the PDF tests share: PDF files built object by object with qpdf,
// reading and writing through the PDF format in-process, a stand-in for a
// conversion, and the outside tools (Ghostscript, LittleCMS's tificc,
// poppler, qpdf) the end-to-end tests compare with.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <qpdf/QPDF.hh>

#include "formats/DocumentFormat.h"
#include "formats/InkBooks.h"
#include "platform/kelt/MessageSink.h"
#include "platform/kelt/kelt_builder.h"

namespace rdz::formats::pdf::test {

/// A PDF file made for a test, object by object.
class TestPdf {
  public:
    TestPdf();
    QPDF& Qpdf() { return *qpdf_; }

    /// An object from its text; "n 0 R" refers to objects made before.
    QPDFObjectHandle Object(const std::string& text);
    QPDFObjectHandle Indirect(const std::string& text);
    /// A stream holding `data` as it is (no filter) with the dictionary
    /// `dictionary`.
    QPDFObjectHandle Stream(const std::string& data, const std::string& dictionary = "<<>>");
    /// A stream holding `data` Flate-compressed.
    QPDFObjectHandle FlateStream(const std::string& data, const std::string& dictionary = "<<>>");
    /// Adds a page with this content and resources (a dictionary's text).
    QPDFObjectHandle AddPage(const std::string& content, const std::string& resources = "<<>>");
    /// Writes the file, uncompressed object streams off. With a user or
    /// owner password, encrypted (AES-256).
    void Write(const std::string& path, const std::string& user = "",
               const std::string& owner = "") const;

  private:
    std::unique_ptr<QPDF> qpdf_;
};

/// A PDF read through the PDF format, and what it said.
struct ReadPdf {
    std::unique_ptr<FormatDocument> document;
    std::vector<rdz::kelt::Message> messages;
    std::vector<std::string> Warnings() const;
    document_object_t* Doc() const { return document->Document(); }
};

/// Reads `path` with the ink books of `books` ("" for none).
ReadPdf Read(const std::string& path, const std::string& books = "");

/// Writes the document read from a PDF to `output`; returns the messages.
std::vector<rdz::kelt::Message> Write(ReadPdf& read, const std::string& output,
                                      const WriteSettings& settings = WriteSettings());

/// Changes every paint of the document (vignette steps included) as a
/// conversion would: the old make-up logged, the new one from `convert`,
/// the paint marked changed.
void FakeConvert(document_object_t* document, const std::function<std::vector<rdz::kelt::Amount>(
                                                  const std::vector<rdz::kelt::Amount>&)>& convert);

/// A solid's amounts by ink name ("Cyan" -> 0.3), for comparisons.
std::vector<std::pair<std::string, double>> Named(const std::vector<rdz::kelt::Amount>& amounts);
std::string InkNameOf(const inkt_t* ink);
/// Every paint of the document, vignettes as their steps, named as above.
std::vector<std::vector<std::pair<std::string, double>>> SolidMakeUps(document_object_t* doc);

/// The first page of an open PDF.
inline QPDFObjectHandle FirstPage(QPDF& qpdf) {
    return qpdf.getAllPages().at(0);
}

/// The decoded content of page `page` (1-based) of a PDF file.
std::string PageContent(const std::string& path, int page);

// ---------------------------------------------------------------------------
// Outside tools

/// Whether `name` is a program on PATH.
bool HaveTool(const std::string& name);
/// Runs a program; gives its exit status and (when wanted) its standard
/// output and error together.
int RunTool(const std::vector<std::string>& args, std::string* output = nullptr);

/// A raster as read from a TIFF file: `samples` bytes per pixel.
struct Raster {
    int width = 0;
    int height = 0;
    int samples = 0;
    std::vector<std::uint8_t> pixels;
};
Raster ReadRaster(const std::string& tiff);
/// Ghostscript's rendering of a PDF at `dpi` with `device` into `tiff`.
Raster Render(const std::string& pdf, const std::string& device, int dpi, const std::string& tiff);
/// The share of pixels (0..1) whose every sample differs by at most
/// `tolerance`; 0 when the sizes differ.
double Agreement(const Raster& a, const Raster& b, int tolerance);

/// The folder of the PDF files the generators made for the tests.
std::string GeneratedFolder();

}  // namespace rdz::formats::pdf::test
