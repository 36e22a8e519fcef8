#include "formats/json/DocumentStream.h"

#include <algorithm>
#include <cstdio>

namespace rdz::formats::json {
namespace {

/// What each top-level array refers to.
const std::map<std::string, std::vector<std::string>>& TopLevelDependencies() {
    static const std::map<std::string, std::vector<std::string>> dependencies = {
        {"inks", {}},
        {"paints", {"inks"}},
        {"images", {"inks"}},
        {"components", {"inks", "paints", "images"}},
    };
    return dependencies;
}

const char* const kTopArrays[] = {"inks", "paints", "images", "components"};

}  // namespace

std::vector<std::string> TopLevelKeys(const std::string& path) {
    std::vector<std::string> keys;
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) {
        return keys;
    }
    std::vector<char> buffer(1 << 20);
    int depth = 0;
    bool inString = false;
    bool escaped = false;
    bool expectKey = false;
    bool readingKey = false;
    std::string key;
    for (;;) {
        const std::size_t got = std::fread(buffer.data(), 1, buffer.size(), file);
        if (got == 0) {
            break;
        }
        for (std::size_t i = 0; i < got; ++i) {
            if (inString && !escaped && !readingKey) {
                // The bulk of a file: text that is no key, skipped at speed.
                while (i < got && buffer[i] != '"' && buffer[i] != '\\') {
                    ++i;
                }
                if (i == got) {
                    break;
                }
            }
            const char c = buffer[i];
            if (inString) {
                if (escaped) {
                    escaped = false;
                    key += readingKey ? "\x01" : "";  // an escaped key matches no name
                } else if (c == '\\') {
                    escaped = true;
                } else if (c == '"') {
                    inString = false;
                    if (readingKey) {
                        readingKey = false;
                        if (std::find(keys.begin(), keys.end(), key) == keys.end()) {
                            keys.push_back(key);
                        }
                    }
                } else if (readingKey && key.size() < 64) {
                    key += c;
                }
                continue;
            }
            switch (c) {
                case '"':
                    inString = true;
                    readingKey = depth == 1 && expectKey;
                    expectKey = false;
                    key.clear();
                    break;
                case '{':
                case '[':
                    ++depth;
                    expectKey = depth == 1 && c == '{';
                    break;
                case '}':
                case ']':
                    --depth;
                    break;
                case ',':
                    expectKey = depth == 1;
                    break;
                default:
                    break;
            }
        }
    }
    std::fclose(file);
    return keys;
}

/// A value gathered whole, as nlohmann's own tree builder would, refusing a
/// field that appears twice in an object.
class DocumentStream::Capture {
  public:
    void Value(Json value) {
        if (stack_.empty()) {
            root_ = std::move(value);
            done_ = true;
        } else if (stack_.back()->is_array()) {
            stack_.back()->push_back(std::move(value));
        } else {
            (*stack_.back())[key_] = std::move(value);
        }
    }
    void Start(bool object) {
        Json fresh = object ? Json::object() : Json::array();
        if (stack_.empty()) {
            root_ = std::move(fresh);
            stack_.push_back(&root_);
        } else if (stack_.back()->is_array()) {
            stack_.back()->push_back(std::move(fresh));
            stack_.push_back(&stack_.back()->back());
        } else {
            Json& slot = (*stack_.back())[key_];
            slot = std::move(fresh);
            stack_.push_back(&slot);
        }
    }
    /// False when the object has the field already.
    bool Key(const std::string& key) {
        if (stack_.back()->contains(key)) {
            return false;
        }
        key_ = key;
        return true;
    }
    void End() {
        stack_.pop_back();
        done_ = stack_.empty();
    }
    bool Done() const { return done_; }
    Json Take() { return std::move(root_); }

  private:
    Json root_;
    std::vector<Json*> stack_;
    std::string key_;
    bool done_ = false;
};

DocumentStream::DocumentStream(DocumentContent& content,
                               const std::vector<std::string>& topLevelOrder)
    : content_(content) {
    // An array is read as it comes when everything it refers to is read
    // before it (or is absent from the file).
    const auto position = [&](const std::string& key) {
        return std::find(topLevelOrder.begin(), topLevelOrder.end(), key) - topLevelOrder.begin();
    };
    const auto absent = static_cast<std::ptrdiff_t>(topLevelOrder.size());
    for (const std::string& key : topLevelOrder) {
        const auto dependencies = TopLevelDependencies().find(key);
        if (dependencies == TopLevelDependencies().end()) {
            continue;
        }
        bool streams = true;
        for (const std::string& dependency : dependencies->second) {
            const auto at = position(dependency);
            streams = streams && (at == absent || (at < position(key) && streamable_[dependency]));
        }
        streamable_[key] = streams;
    }
}

DocumentStream::~DocumentStream() = default;

bool DocumentStream::StreamsNow(const std::string& key) const {
    const auto found = streamable_.find(key);
    return found != streamable_.end() && found->second;
}

void DocumentStream::Enter() {
    if (!levels_.empty() && levels_.back().array) {
        ++levels_.back().next;
    }
}

Node DocumentStream::Here(const Json& value) const {
    const std::size_t count = levels_.size();
    return Node(
        value, [this, count] { return PointerOf(count); }, content_.Path());
}

std::string DocumentStream::PointerOf(std::size_t count) const {
    std::string pointer;
    for (std::size_t i = 0; i < count && i < levels_.size(); ++i) {
        const Level& level = levels_[i];
        pointer += '/';
        pointer += level.array ? std::to_string(level.next - 1) : PointerToken(level.key);
    }
    return pointer;
}

void DocumentStream::Route(bool container, bool object) {
    if (!container) {
        capture_ = std::make_unique<Capture>();
        return;
    }
    if (frames_.empty()) {
        if (object) {
            Frame top{FrameKind::Top};
            frames_.push_back(std::move(top));
            return;
        }
        capture_ = std::make_unique<Capture>();
        return;
    }
    Frame& frame = frames_.back();
    switch (frame.kind) {
        case FrameKind::Top: {
            const std::string& key = levels_.back().key;
            if (!object && StreamsNow(key)) {
                Frame next{key == "components" ? FrameKind::Objects : FrameKind::Section};
                next.section = key;
                next.levels = levels_.size();
                next.parent = key == "components" ? content_.Document() : nullptr;
                frames_.push_back(std::move(next));
                return;
            }
            break;
        }
        case FrameKind::Objects:
            if (object) {
                Frame next{FrameKind::Object};
                next.levels = levels_.size();
                next.parent = frame.parent;
                next.depth = frame.depth;
                next.header = Json::object();
                frames_.push_back(std::move(next));
                return;
            }
            break;
        case FrameKind::Object: {
            const std::string& key = levels_.back().key;
            const std::string type = frame.object != nullptr ? frame.type
                                                             : DocumentContent::StreamableType(
                                                                   frame.header, frame.depth);
            const bool streams = !object && !type.empty() && type != "image" &&
                                 (key == "children" || (key == "content" && type == "form"));
            if (streams) {
                if (frame.object == nullptr) {
                    MakeObject(frame);
                }
                if (frame.depth + 1 > DocumentContent::kMaxDepth) {
                    FailAt(content_.Path(), CurrentPointer(), "objects are nested too deeply");
                }
                Frame next{FrameKind::Objects};
                next.levels = levels_.size();
                next.parent =
                    key == "children" ? frame.object : rdz::kelt::FormContent(frame.object);
                next.depth = frame.depth + 1;
                frames_.push_back(std::move(next));
                return;
            }
            break;
        }
        case FrameKind::Section:
            break;
    }
    capture_ = std::make_unique<Capture>();
}

void DocumentStream::MakeObject(Frame& frame) {
    const std::size_t count = frame.levels;
    const Node header(
        frame.header, [this, count] { return PointerOf(count); }, content_.Path());
    frame.type = DocumentContent::StreamableType(frame.header, frame.depth);
    frame.object = content_.ReadObject(header, frame.parent, frame.depth);
    frame.header = Json();  // read: only later fields count from here on
}

void DocumentStream::Scalar(Json value) {
    Enter();
    if (!capture_) {
        Route(false, false);
    }
    capture_->Value(std::move(value));
    if (capture_->Done()) {
        Json whole = capture_->Take();
        capture_.reset();
        Deliver(std::move(whole));
    }
}

void DocumentStream::StartContainer(bool object) {
    Enter();
    if (capture_) {
        capture_->Start(object);
    } else {
        Route(true, object);
        if (capture_) {
            capture_->Start(object);
        }
    }
    Level level;
    level.array = !object;
    levels_.push_back(std::move(level));
}

void DocumentStream::EndContainer() {
    levels_.pop_back();
    if (capture_) {
        capture_->End();
        if (capture_->Done()) {
            Json whole = capture_->Take();
            capture_.reset();
            Deliver(std::move(whole));
        }
        return;
    }
    Frame frame = std::move(frames_.back());
    frames_.pop_back();
    FinishFrame(frame);
}

void DocumentStream::Deliver(Json value) {
    if (frames_.empty()) {
        // The top level is not an object.
        Here(value).ExpectObject(kTopFields);
        return;
    }
    Frame& frame = frames_.back();
    const Node node = Here(value);
    switch (frame.kind) {
        case FrameKind::Top: {
            const std::string key = levels_.back().key;
            const bool isArray = std::find(std::begin(kTopArrays), std::end(kTopArrays), key) !=
                                 std::end(kTopArrays);
            if (isArray && !StreamsNow(key)) {
                deferredPointer_[key] = CurrentPointer();
                deferred_[key] = std::move(value);
            } else {
                ReadTopValue(key, node);
            }
            break;
        }
        case FrameKind::Section:
            if (frame.section == "inks") {
                content_.ReadInk(node);
            } else if (frame.section == "paints") {
                content_.ReadPaint(node);
            } else {
                content_.ReadImage(node);
            }
            break;
        case FrameKind::Objects:
            content_.ReadObject(node, frame.parent, frame.depth);
            break;
        case FrameKind::Object: {
            const std::string& key = levels_.back().key;
            if (frame.object == nullptr) {
                frame.header[key] = std::move(value);
            } else {
                content_.ReadLateField(key, node, frame.object, frame.depth);
            }
            break;
        }
    }
}

void DocumentStream::ReadTopValue(const std::string& key, const Node& node) {
    if (key == "format") {
        content_.ReadFormat(node);
    } else if (key == "version") {
        content_.ReadVersion(node);
    } else if (key == "name") {
        content_.ReadName(node);
    } else if (key == "colorSpace") {
        content_.ReadColorSpace(node);
    } else if (key == "inks[]") {
        content_.ReadInk(node);
    } else if (key == "paints[]") {
        content_.ReadPaint(node);
    } else if (key == "images[]") {
        content_.ReadImage(node);
    } else if (key == "components") {
        content_.ReadObjects(node, content_.Document(), 0);
    } else {
        // A whole array (or what stands where one belongs).
        const std::string entry = key + "[]";
        for (std::size_t i = 0; i < node.Size(); ++i) {
            ReadTopValue(entry, node[i]);
        }
    }
}

void DocumentStream::ReadDeferred() {
    for (const char* key : kTopArrays) {
        const auto found = deferred_.find(key);
        if (found != deferred_.end()) {
            ReadTopValue(key, Node(found->second, deferredPointer_[key], content_.Path()));
        }
    }
}

void DocumentStream::FinishFrame(Frame& frame) {
    switch (frame.kind) {
        case FrameKind::Top:
            ReadDeferred();
            content_.Document();
            break;
        case FrameKind::Object:
            if (frame.object == nullptr) {
                // The levels are those around the object again.
                content_.ReadObject(Here(frame.header), frame.parent, frame.depth);
            }
            break;
        case FrameKind::Section:
        case FrameKind::Objects:
            break;
    }
}

bool DocumentStream::null() {
    Scalar(Json());
    return true;
}

bool DocumentStream::boolean(bool value) {
    Scalar(Json(value));
    return true;
}

bool DocumentStream::number_integer(std::int64_t value) {
    Scalar(Json(value));
    return true;
}

bool DocumentStream::number_unsigned(std::uint64_t value) {
    Scalar(Json(value));
    return true;
}

bool DocumentStream::number_float(double value, const std::string& text) {
    (void)text;
    Scalar(Json(value));
    return true;
}

bool DocumentStream::string(std::string& value) {
    if (value.find('\0') != std::string::npos) {
        Enter();
        FailAt(content_.Path(), CurrentPointer(), "a text must not hold a NUL character (\\u0000)");
    }
    Scalar(Json(std::move(value)));
    return true;
}

bool DocumentStream::binary(Json::binary_t& value) {
    (void)value;  // JSON text has no binary values
    return true;
}

bool DocumentStream::start_object(std::size_t elements) {
    (void)elements;
    StartContainer(true);
    return true;
}

bool DocumentStream::start_array(std::size_t elements) {
    (void)elements;
    StartContainer(false);
    return true;
}

bool DocumentStream::end_object() {
    EndContainer();
    return true;
}

bool DocumentStream::end_array() {
    EndContainer();
    return true;
}

bool DocumentStream::key(std::string& value) {
    Level& level = levels_.back();
    level.key = value;
    // The place is only spelt out for a message.
    const auto fail = [this](const std::string& what) {
        FailAt(content_.Path(), CurrentPointer(), what);
    };
    if (value.find('\0') != std::string::npos) {
        fail("a field name must not hold a NUL character (\\u0000)");
    }
    const char* const duplicate = "a field may appear once in an object; this one is repeated";
    if (capture_) {
        if (!capture_->Key(value)) {
            fail(duplicate);
        }
        return true;
    }
    Frame& frame = frames_.back();
    if (std::find(frame.seen.begin(), frame.seen.end(), value) != frame.seen.end()) {
        fail(duplicate);
    }
    frame.seen.push_back(value);
    if (frame.kind == FrameKind::Top && !IsKnown(value, kTopFields)) {
        fail(UnknownField(kTopFields));
    }
    if (frame.kind == FrameKind::Object && frame.object != nullptr) {
        const auto& fields = frame.type == "form" ? kFormObjectFields : kPlainObjectFields;
        if (!IsKnown(value, fields)) {
            fail(UnknownField(fields));
        }
    }
    return true;
}

bool DocumentStream::parse_error(std::size_t position, const std::string& lastToken,
                                 const nlohmann::detail::exception& error) {
    (void)lastToken;
    const std::string& file = content_.Path();
    std::string what = error.what();
    if (error.id >= 400 && error.id < 500) {
        // A number too large for a double ("1e999"): nlohmann reports it
        // from the parser, but not as a fault of the syntax.
        const std::size_t bracket = what.find("] ");
        throw InputError(file + ": invalid JSON: " +
                         (bracket == std::string::npos ? what : what.substr(bracket + 2)));
    }
    // "<file>:<line>:<column>: invalid JSON: <reason>", the line and column
    // counted in the bytes before the fault.
    const std::uint64_t end = position > 0 ? position - 1 : 0;
    std::uint64_t line = 1;
    std::uint64_t lineStart = 0;
    std::uint64_t offset = 0;
    if (std::FILE* in = std::fopen(file.c_str(), "rb")) {
        std::vector<char> buffer(1 << 16);
        while (offset < end) {
            const std::size_t want =
                static_cast<std::size_t>(std::min<std::uint64_t>(buffer.size(), end - offset));
            const std::size_t got = std::fread(buffer.data(), 1, want, in);
            if (got == 0) {
                break;
            }
            for (std::size_t i = 0; i < got; ++i) {
                if (buffer[i] == '\n') {
                    ++line;
                    lineStart = offset + i + 1;
                }
            }
            offset += got;
        }
        std::fclose(in);
    }
    const std::size_t column = what.find("column ");
    const std::size_t colon = what.find(": ", column == std::string::npos ? 0 : column);
    if (colon != std::string::npos) {
        what = what.substr(colon + 2);
    }
    throw InputError(file + ":" + std::to_string(line) + ":" +
                     std::to_string(offset - lineStart + 1) + ": invalid JSON: " + what);
}

}  // namespace rdz::formats::json
