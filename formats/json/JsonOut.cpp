#include "formats/json/JsonOut.h"

#include <cerrno>
#include <charconv>
#include <cstring>
#include <nlohmann/json.hpp>

#if defined(__linux__)
#include <fcntl.h>
#endif

namespace rdz::formats::json {
namespace {

constexpr std::size_t kFlushBytes = 1 << 20;
/// Written bytes after which their writeback to the disk is started.
constexpr std::uint64_t kWritebackBytes = std::uint64_t(16) << 20;

bool Plain(const std::string& text) {
    for (unsigned char c : text) {
        if (c < 0x20 || c >= 0x7F || c == '"' || c == '\\') {
            return false;
        }
    }
    return true;
}

}  // namespace

/// nlohmann's own serializer for what needs its exact rules (escapes,
/// replacement of bytes that are not UTF-8, the shortest round-trip form of
/// a double), appending to a string.
class JsonOut::Scalars {
  public:
    explicit Scalars(std::string& out)
        : serializer_(nlohmann::detail::output_adapter<char>(out), ' ',
                      nlohmann::json::error_handler_t::replace) {}
    void Dump(const nlohmann::json& value) { serializer_.dump(value, false, false, 0); }

  private:
    nlohmann::detail::serializer<nlohmann::json> serializer_;
};

JsonOut::JsonOut(const std::string& path) : scalars_(std::make_unique<Scalars>(buffer_)) {
    file_ = std::fopen(path.c_str(), "wb");
    if (file_ == nullptr) {
        error_ = errno != 0 ? errno : EIO;
    }
    buffer_.reserve(kFlushBytes + 4096);
}

JsonOut::~JsonOut() {
    if (file_ != nullptr) {
        std::fclose(file_);
    }
}

void JsonOut::Raw(const char* text, std::size_t size) {
    buffer_.append(text, size);
    if (buffer_.size() >= kFlushBytes) {
        Flush();
    }
}

void JsonOut::Flush() {
    if (file_ != nullptr && error_ == 0 && !buffer_.empty()) {
        if (std::fwrite(buffer_.data(), 1, buffer_.size(), file_) != buffer_.size()) {
            error_ = errno != 0 ? errno : EIO;
        } else {
            written_ += buffer_.size();
            StartWriteback();
        }
    }
    buffer_.clear();
}

void JsonOut::StartWriteback() {
    // The file is flushed to disk before it replaces the previous output.
    // Handing the kernel what is written every few megabytes (without
    // waiting) lets the disk work while the rest is made, so that the final
    // flush of a large document has little left to wait for. A hint only:
    // write errors show in the final flush.
#if defined(__linux__)
    if (written_ - writebackFrom_ < kWritebackBytes || std::fflush(file_) != 0) {
        return;
    }
    ::sync_file_range(fileno(file_), static_cast<off_t>(writebackFrom_),
                      static_cast<off_t>(written_ - writebackFrom_), SYNC_FILE_RANGE_WRITE);
    writebackFrom_ = written_;
#endif
}

void JsonOut::Indent(std::size_t depth) {
    static const std::string spaces(512, ' ');
    std::size_t count = depth * 2;
    while (count > 0) {
        const std::size_t part = std::min(count, spaces.size());
        Raw(spaces.data(), part);
        count -= part;
    }
}

void JsonOut::BeforeValue() {
    if (afterKey_) {
        afterKey_ = false;
        return;
    }
    if (levels_.empty()) {
        return;
    }
    Level& level = levels_.back();
    Raw(level.empty ? "\n" : ",\n", level.empty ? 1 : 2);
    level.empty = false;
    Indent(levels_.size());
}

void JsonOut::Key(const char* key) {
    Level& level = levels_.back();
    Raw(level.empty ? "\n" : ",\n", level.empty ? 1 : 2);
    level.empty = false;
    Indent(levels_.size());
    // Field names are the writer's own, plain ASCII.
    Raw("\"", 1);
    Raw(key, std::strlen(key));
    Raw("\": ", 3);
    afterKey_ = true;
}

void JsonOut::BeginObject() {
    BeforeValue();
    Raw("{", 1);
    levels_.push_back(Level{false, true});
}

void JsonOut::BeginArray() {
    BeforeValue();
    Raw("[", 1);
    levels_.push_back(Level{true, true});
}

void JsonOut::EndObject() {
    const bool empty = levels_.back().empty;
    levels_.pop_back();
    if (!empty) {
        Raw("\n", 1);
        Indent(levels_.size());
    }
    Raw("}", 1);
}

void JsonOut::EndArray() {
    const bool empty = levels_.back().empty;
    levels_.pop_back();
    if (!empty) {
        Raw("\n", 1);
        Indent(levels_.size());
    }
    Raw("]", 1);
}

void JsonOut::Escaped(const std::string& text) {
    if (Plain(text)) {
        Raw("\"", 1);
        Raw(text);
        Raw("\"", 1);
        return;
    }
    scalars_->Dump(nlohmann::json(text));
    if (buffer_.size() >= kFlushBytes) {
        Flush();
    }
}

void JsonOut::String(const std::string& text) {
    BeforeValue();
    Escaped(text);
}

void JsonOut::Integer(long long value) {
    BeforeValue();
    char text[32];
    const auto result = std::to_chars(text, text + sizeof text, value);
    Raw(text, static_cast<std::size_t>(result.ptr - text));
}

void JsonOut::Unsigned(unsigned long long value) {
    BeforeValue();
    char text[32];
    const auto result = std::to_chars(text, text + sizeof text, value);
    Raw(text, static_cast<std::size_t>(result.ptr - text));
}

void JsonOut::Double(double value) {
    BeforeValue();
    scalars_->Dump(nlohmann::json(value));
    if (buffer_.size() >= kFlushBytes) {
        Flush();
    }
}

void JsonOut::Bool(bool value) {
    BeforeValue();
    Raw(value ? "true" : "false", value ? 4 : 5);
}

void JsonOut::Null() {
    BeforeValue();
    Raw("null", 4);
}

bool JsonOut::Close(std::string* error) {
    Raw("\n", 1);
    Flush();
    if (file_ != nullptr) {
        if (std::fclose(file_) != 0 && error_ == 0) {
            error_ = errno != 0 ? errno : EIO;
        }
        file_ = nullptr;
    }
    if (error_ != 0) {
        *error = std::strerror(error_);
        return false;
    }
    return true;
}

}  // namespace rdz::formats::json
