#include "formats/pdf/StreamData.h"

#include <stdexcept>

#include <zlib.h>

#include <qpdf/Pl_Flate.hh>
#include <qpdf/Pl_String.hh>

#include "formats/pdf/ContentTokens.h"

namespace rdz::formats::pdf {
namespace {

/// Keeps what is written up to a limit and fails beyond it.
class LimitedString : public Pipeline {
  public:
    LimitedString(std::string& out, std::size_t limit)
        : Pipeline("limited buffer", nullptr), out_(out), limit_(limit) {}
    void write(unsigned char const* data, size_t len) override {
        if (len > limit_ - out_.size()) {
            exceeded_ = true;
            throw std::length_error("stream data over the limit");
        }
        out_.append(reinterpret_cast<const char*>(data), len);
    }
    void finish() override {}
    bool exceeded() const { return exceeded_; }

  private:
    std::string& out_;
    std::size_t limit_;
    bool exceeded_ = false;
};

bool HasFilter(QPDFObjectHandle stream) {
    QPDFObjectHandle filter = stream.getDict().getKey("/Filter");
    return filter.isName() || (filter.isArray() && filter.getArrayNItems() > 0);
}

}  // namespace

bool PipeStream(QPDFObjectHandle stream, Pipeline& sink, qpdf_stream_decode_level_e level,
                std::string* error) {
    if (!stream.isStream()) {
        *error = "not a stream";
        return false;
    }
    bool filtered = false;
    bool ok = false;
    try {
        ok = stream.pipeStreamData(&sink, &filtered, 0, level, true, false);
    } catch (const std::exception& e) {
        *error = e.what();
        return false;
    }
    if (ok && !filtered && HasFilter(stream)) {
        *error = "its filters cannot be decoded";
        return false;
    }
    if (!ok) {
        *error = "its data cannot be decoded";
    }
    return ok;
}

std::string DecodeStream(QPDFObjectHandle stream, std::size_t limit,
                         qpdf_stream_decode_level_e level) {
    std::string out;
    LimitedString sink(out, limit);
    std::string error;
    if (!PipeStream(stream, sink, level, &error)) {
        if (sink.exceeded()) {
            throw ContentError("it holds more than " + std::to_string(limit >> 20) +
                               " MiB when decoded");
        }
        throw ContentError(error);
    }
    return out;
}

bool StoredData(QPDFObjectHandle stream, std::size_t limit, std::string* out) {
    out->clear();  // keeps the capacity of a buffer used before
    LimitedString sink(*out, limit);
    try {
        return stream.pipeStreamData(&sink, nullptr, 0, qpdf_dl_none, true, false);
    } catch (const std::exception&) {
        return false;
    }
}

struct FlateWriter::Pipes {
    std::string out;
    Pl_String target{"compressed", nullptr, out};
    Pl_Flate flate{"flate", &target, Pl_Flate::a_deflate};
};

FlateWriter::FlateWriter(int level) {
    Pl_Flate::setCompressionLevel(level);
    pipes_ = std::make_unique<Pipes>();
}

FlateWriter::~FlateWriter() = default;

void FlateWriter::Write(const unsigned char* data, std::size_t size) {
    pipes_->flate.write(data, size);
}

std::string FlateWriter::Finish() {
    pipes_->flate.finish();
    return std::move(pipes_->out);
}

struct ImageDeflater::Stream {
    z_stream z{};
};

ImageDeflater::ImageDeflater(bool predicted) : stream_(std::make_unique<Stream>()) {
    if (deflateInit2(&stream_->z, 1, Z_DEFLATED, 15, 8, predicted ? Z_RLE : Z_DEFAULT_STRATEGY) !=
        Z_OK) {
        throw std::bad_alloc();
    }
}

ImageDeflater::~ImageDeflater() {
    deflateEnd(&stream_->z);
}

void ImageDeflater::Run(int flush) {
    unsigned char buffer[1 << 16];
    z_stream& z = stream_->z;
    do {
        z.next_out = buffer;
        z.avail_out = sizeof buffer;
        const int result = deflate(&z, flush);
        if (result == Z_STREAM_ERROR) {
            throw std::runtime_error("zlib cannot compress the image");
        }
        out_.append(reinterpret_cast<const char*>(buffer), sizeof buffer - z.avail_out);
    } while (z.avail_out == 0 || (flush == Z_FINISH && z.avail_in > 0));
}

void ImageDeflater::Write(const unsigned char* data, std::size_t size) {
    z_stream& z = stream_->z;
    z.next_in = const_cast<unsigned char*>(data);
    z.avail_in = static_cast<uInt>(size);
    Run(Z_NO_FLUSH);
}

std::string ImageDeflater::Finish() {
    stream_->z.avail_in = 0;
    Run(Z_FINISH);
    return std::move(out_);
}

}  // namespace rdz::formats::pdf
