// Stream data through qpdf's filters: decoding with a size limit, and Flate
// compression of what the writer makes.
#pragma once

#include <cstddef>
#include <memory>
#include <string>

#include <qpdf/Pipeline.hh>
#include <qpdf/QPDFObjectHandle.hh>

namespace rdz::formats::pdf {

/// The decoded data of `stream` (every filter qpdf knows, DCT included, at
/// `level`). Throws ContentError when qpdf cannot decode it or when it holds
/// more than `limit` bytes (nothing beyond the limit is kept).
std::string DecodeStream(QPDFObjectHandle stream, std::size_t limit,
                         qpdf_stream_decode_level_e level = qpdf_dl_specialized);

/// Passes the decoded data of `stream` to `sink` in pieces. Returns false
/// (with the reason in `error`) when qpdf cannot decode it or `sink` throws.
bool PipeStream(QPDFObjectHandle stream, Pipeline& sink, qpdf_stream_decode_level_e level,
                std::string* error);

/// The data of `stream` as stored (decrypted, filters not applied), at most
/// `limit` bytes. Returns false when qpdf cannot read it or it is larger.
bool StoredData(QPDFObjectHandle stream, std::size_t limit, std::string* out);

/// Compresses what is written to it with Flate (qpdf's zlib pipeline, at the
/// given zlib level) into a string.
class FlateWriter {
  public:
    explicit FlateWriter(int level);
    ~FlateWriter();
    FlateWriter(const FlateWriter&) = delete;
    FlateWriter& operator=(const FlateWriter&) = delete;

    void Write(const unsigned char* data, std::size_t size);
    void Write(const std::string& data) {
        Write(reinterpret_cast<const unsigned char*>(data.data()), data.size());
    }
    /// Ends the stream and gives the compressed bytes.
    std::string Finish();

  private:
    struct Pipes;
    std::unique_ptr<Pipes> pipes_;
};

/// zlib compression for image samples: level 1 with run-length matching,
/// fast for pixels that a predictor has turned into small differences; the
/// plain default strategy without one.
class ImageDeflater {
  public:
    explicit ImageDeflater(bool predicted);
    ~ImageDeflater();
    ImageDeflater(const ImageDeflater&) = delete;
    ImageDeflater& operator=(const ImageDeflater&) = delete;

    void Write(const unsigned char* data, std::size_t size);
    std::string Finish();

  private:
    void Run(int flush);
    struct Stream;
    std::unique_ptr<Stream> stream_;
    std::string out_;
};

}  // namespace rdz::formats::pdf
