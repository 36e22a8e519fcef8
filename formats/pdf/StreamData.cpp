#include "formats/pdf/StreamData.h"

#include <algorithm>
#include <memory>
#include <mutex>
#include <stdexcept>

#include <libdeflate.h>

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

namespace {

std::mutex g_buffersLock;
std::vector<std::vector<unsigned char>> g_buffers;

/// Buffers kept for TakeBuffer: as many as images are decoded or compressed
/// at once.
constexpr std::size_t kKeptBuffers = 4;

}  // namespace

std::vector<unsigned char> TakeBuffer(std::size_t size) {
    std::vector<unsigned char> buffer;
    {
        std::lock_guard<std::mutex> guard(g_buffersLock);
        // The smallest that is large enough.
        auto best = g_buffers.end();
        for (auto it = g_buffers.begin(); it != g_buffers.end(); ++it) {
            if (it->capacity() >= size &&
                (best == g_buffers.end() || it->capacity() < best->capacity())) {
                best = it;
            }
        }
        if (best != g_buffers.end()) {
            buffer = std::move(*best);
            g_buffers.erase(best);
        }
    }
    buffer.resize(size);
    return buffer;
}

void GiveBack(std::vector<unsigned char>&& buffer) {
    if (buffer.capacity() == 0) {
        return;
    }
    std::vector<unsigned char> dropped;
    std::lock_guard<std::mutex> guard(g_buffersLock);
    if (g_buffers.size() < kKeptBuffers) {
        g_buffers.push_back(std::move(buffer));
        return;
    }
    // Keep the largest ones.
    auto smallest = std::min_element(g_buffers.begin(), g_buffers.end(),
                                     [](const auto& a, const auto& b) {
                                         return a.capacity() < b.capacity();
                                     });
    if (smallest->capacity() < buffer.capacity()) {
        dropped = std::move(*smallest);
        *smallest = std::move(buffer);
    }
}

ImageDeflater::ImageDeflater(std::size_t size) : samples_(TakeBuffer(size)) {}

ImageDeflater::~ImageDeflater() {
    GiveBack(std::move(samples_));
}

unsigned char* ImageDeflater::Next(std::size_t size) {
    if (size > samples_.size() - filled_) {
        throw std::logic_error("more image samples than announced");
    }
    unsigned char* at = samples_.data() + filled_;
    filled_ += size;
    return at;
}

std::string ImageDeflater::Finish() {
    std::unique_ptr<libdeflate_compressor, void (*)(libdeflate_compressor*)> compressor(
        libdeflate_alloc_compressor(1), libdeflate_free_compressor);
    if (!compressor) {
        throw std::bad_alloc();
    }
    std::vector<unsigned char> out =
        TakeBuffer(libdeflate_zlib_compress_bound(compressor.get(), filled_));
    const std::size_t size = libdeflate_zlib_compress(compressor.get(), samples_.data(), filled_,
                                                      out.data(), out.size());
    std::string compressed(reinterpret_cast<const char*>(out.data()), size);
    GiveBack(std::move(out));
    if (size == 0) {
        throw std::runtime_error("the image cannot be compressed");
    }
    return compressed;
}

bool InflateExactly(const std::string& stored, unsigned char* out, std::size_t size) {
    std::unique_ptr<libdeflate_decompressor, void (*)(libdeflate_decompressor*)> decompressor(
        libdeflate_alloc_decompressor(), libdeflate_free_decompressor);
    if (!decompressor) {
        return false;
    }
    std::size_t got = 0;
    return libdeflate_zlib_decompress(decompressor.get(), stored.data(), stored.size(), out, size,
                                      &got) == LIBDEFLATE_SUCCESS &&
           got == size;
}

}  // namespace rdz::formats::pdf
