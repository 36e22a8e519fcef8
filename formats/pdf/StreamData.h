// Stream data through qpdf's filters: decoding with a size limit, and Flate
// compression of what the writer makes.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

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

/// Flate compression for image samples, through libdeflate at level 1 on the
/// whole image at once. On pixels that TIFF predictor 2 has turned into
/// small differences it is about 3.5 times as fast as zlib at level 1 (with
/// run-length matching) and the stream is about 6% larger; level 2 is as
/// small as zlib's and only twice as fast (3000 x 3000 CMYK photograph with
/// grain: level 1 0.24 s, 7.2 MB; level 2 0.48 s, 6.9 MB; zlib 0.87 s,
/// 6.8 MB). The same samples always give the same bytes.
class ImageDeflater {
  public:
    /// `size`: how many bytes will be written.
    explicit ImageDeflater(std::size_t size);
    ~ImageDeflater();
    ImageDeflater(const ImageDeflater&) = delete;
    ImageDeflater& operator=(const ImageDeflater&) = delete;

    /// Room for the next `size` bytes, to be filled before the next call.
    unsigned char* Next(std::size_t size);
    /// The zlib stream of everything written.
    std::string Finish();

  private:
    std::vector<unsigned char> samples_;
    std::size_t filled_ = 0;
};

/// A buffer of at least `size` bytes (size() is `size`), one given back
/// before when there is one: fresh memory costs the system zeroing every
/// page of it. Its contents are whatever they were. Any thread.
std::vector<unsigned char> TakeBuffer(std::size_t size);
/// Keeps `buffer` for TakeBuffer (a few are kept; the others freed).
void GiveBack(std::vector<unsigned char>&& buffer);

/// Inflates the zlib stream `stored` into exactly `size` bytes at `out`
/// (libdeflate, whole buffers). False when the stream is damaged, or holds
/// fewer or more bytes than `size`: the caller then decodes it the slow way,
/// which tells why.
bool InflateExactly(const std::string& stored, unsigned char* out, std::size_t size);

}  // namespace rdz::formats::pdf
