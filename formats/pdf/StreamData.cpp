#include "formats/pdf/StreamData.h"

#include <stdexcept>

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

}  // namespace rdz::formats::pdf
