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

struct Stops {
    bool inString[256] = {};
    bool outside[256] = {};
    Stops() {
        inString[static_cast<unsigned char>('"')] = true;
        inString[static_cast<unsigned char>('\\')] = true;
        for (char c : {'"', '{', '}', '[', ']', ','}) {
            outside[static_cast<unsigned char>(c)] = true;
        }
    }
};
const Stops kStops;
const bool* const kStringStops = kStops.inString;
const bool* const kStructureStops = kStops.outside;

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
            // The bulk of a file (numbers, blanks, texts that are no key) is
            // skipped at speed: only quotes, escapes and brackets matter.
            if (!escaped && !readingKey) {
                const bool* stops = inString ? kStringStops : kStructureStops;
                while (i < got && !stops[static_cast<unsigned char>(buffer[i])]) {
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

EventLog& DocumentStream::Log() {
    return target_ == Target::Capture ? capture_ : *logs_[frames_.back().log];
}

void DocumentStream::BeginValue(bool container, bool object) {
    if (!levels_.empty() && levels_.back().array) {
        ++levels_.back().next;
    }
    if (target_ == Target::None) {
        Route(container, object);
    }
    if (target_ != Target::None && container) {
        Log().Begin(object);
        ++targetDepth_;
    }
    if (container) {
        Level level;
        level.array = !object;
        levels_.push_back(std::move(level));
    }
}

void DocumentStream::EndValue() {
    if (target_ != Target::None && targetDepth_ == 0) {
        const Target target = target_;
        target_ = Target::None;
        if (target == Target::Capture) {
            Deliver(capture_);
        }
    }
}

void DocumentStream::Route(bool container, bool object) {
    if (frames_.empty()) {
        if (!(container && object)) {
            // Refused at once: an array of any size is never gathered.
            FailAt(content_.Path(), "", "expected an object");
        }
        frames_.emplace_back(FrameKind::Top);
        return;
    }
    Frame& frame = frames_.back();
    switch (frame.kind) {
        case FrameKind::Top: {
            const std::string& key = levels_.back().key;
            if (container && !object && StreamsNow(key)) {
                Frame next(key == "components" ? FrameKind::Objects : FrameKind::Section);
                next.section = key;
                next.levels = levels_.size();
                next.parent = key == "components" ? content_.Document() : nullptr;
                frames_.push_back(std::move(next));
                return;
            }
            break;
        }
        case FrameKind::Objects:
            if (container && object) {
                Frame next(FrameKind::Object);
                next.levels = levels_.size();
                next.parent = frame.parent;
                next.depth = frame.depth;
                next.log = frames_.size();
                if (logs_.size() <= next.log) {
                    logs_.resize(next.log + 1);
                }
                if (!logs_[next.log]) {
                    logs_[next.log] = std::make_unique<EventLog>();
                }
                logs_[next.log]->Clear();
                logs_[next.log]->Begin(true);
                frames_.push_back(std::move(next));
                return;
            }
            break;
        case FrameKind::Object: {
            const std::string& key = levels_.back().key;
            const std::string type = frame.object != nullptr ? frame.type
                                                             : DocumentContent::StreamableType(
                                                                   *logs_[frame.log], frame.depth);
            const bool streams = container && !object && !type.empty() &&
                                 (key == "children" || (key == "content" && type == "form"));
            if (streams) {
                if (frame.object == nullptr) {
                    MakeObject(frame);
                }
                if (frame.depth + 1 > DocumentContent::kMaxDepth) {
                    FailAt(content_.Path(), CurrentPointer(), "objects are nested too deeply");
                }
                Frame next(FrameKind::Objects);
                next.levels = levels_.size();
                next.parent =
                    key == "children" ? frame.object : rdz::kelt::FormContent(frame.object);
                next.depth = frame.depth + 1;
                frames_.push_back(std::move(next));
                return;
            }
            if (frame.object == nullptr) {
                // One more field of the object, logged with the others.
                logs_[frame.log]->Key(key);
                target_ = Target::Fields;
                targetDepth_ = 0;
                return;
            }
            break;
        }
        case FrameKind::Section:
            break;
    }
    target_ = Target::Capture;
    targetDepth_ = 0;
    capture_.Clear();
}

void DocumentStream::MakeObject(Frame& frame) {
    EventLog& fields = *logs_[frame.log];
    frame.type = DocumentContent::StreamableType(fields, frame.depth);
    frame.object = content_.ReadObjectFast(fields, frame.parent, frame.depth);
    if (frame.object == nullptr) {
        const Json header = fields.ToJson();
        const std::size_t count = frame.levels;
        frame.object = content_.ReadObject(
            Node(
                header, [this, count] { return PointerOf(count); }, content_.Path()),
            frame.parent, frame.depth);
    }
    fields.Clear();  // read: only later fields count from here on
}

void DocumentStream::Deliver(EventLog& log) {
    Frame& frame = frames_.back();
    if (frame.kind == FrameKind::Section && frame.section == "paints" &&
        content_.ReadPaintFast(log)) {
        return;
    }
    Json value = log.ToJson();
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
        case FrameKind::Object:
            content_.ReadLateField(levels_.back().key, node, frame.object, frame.depth);
            break;
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
                MakeObject(frame);
            }
            break;
        case FrameKind::Section:
        case FrameKind::Objects:
            break;
    }
}

bool DocumentStream::null() {
    BeginValue(false, false);
    Log().Null();
    EndValue();
    return true;
}

bool DocumentStream::boolean(bool value) {
    BeginValue(false, false);
    Log().Bool(value);
    EndValue();
    return true;
}

bool DocumentStream::number_integer(std::int64_t value) {
    BeginValue(false, false);
    Log().Integer(value);
    EndValue();
    return true;
}

bool DocumentStream::number_unsigned(std::uint64_t value) {
    BeginValue(false, false);
    Log().Unsigned(value);
    EndValue();
    return true;
}

bool DocumentStream::number_float(double value, const std::string& text) {
    (void)text;
    BeginValue(false, false);
    Log().Float(value);
    EndValue();
    return true;
}

bool DocumentStream::string(std::string& value) {
    BeginValue(false, false);
    if (value.find('\0') != std::string::npos) {
        FailAt(content_.Path(), CurrentPointer(), "a text must not hold a NUL character (\\u0000)");
    }
    Log().String(value);
    EndValue();
    return true;
}

bool DocumentStream::binary(Json::binary_t& value) {
    (void)value;  // JSON text has no binary values
    return true;
}

bool DocumentStream::start_object(std::size_t elements) {
    (void)elements;
    BeginValue(true, true);
    return true;
}

bool DocumentStream::start_array(std::size_t elements) {
    (void)elements;
    BeginValue(true, false);
    return true;
}

bool DocumentStream::end_object() {
    return end_array();
}

bool DocumentStream::end_array() {
    levels_.pop_back();
    if (target_ != Target::None) {
        Log().End();
        --targetDepth_;
        EndValue();
        return true;
    }
    Frame frame = std::move(frames_.back());
    frames_.pop_back();
    FinishFrame(frame);
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
    if (target_ != Target::None) {
        if (!Log().Key(value)) {
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
