// Reading a document file as a stream of JSON events (nlohmann's sax_parse),
// so that a document of a million paints never exists as a whole JSON tree:
// each entry of "inks", "paints" and "images" is gathered on its own and
// handed to DocumentContent, and objects are made as they come, their
// children read after them one by one.
//
// The top level's arrays are read in the order inks, paints, images,
// components whatever their order in the file: an array that the file puts
// before an array it refers to is gathered whole and read at the end
// (TopLevelKeys tells the stream the file's order beforehand). An object's
// children are read as they come once its type is known (a top-level
// object without a type is a component); otherwise, and for image
// placements, they are gathered with the object.
//
// Besides what DocumentContent checks, the stream refuses a field that
// appears twice in one object and a text (or field name) that holds a NUL
// character, naming the place.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "formats/json/DocumentContent.h"
#include "formats/json/EventLog.h"

namespace rdz::formats::json {

/// The fields of the top-level object of the JSON text in `path`, in the
/// order they first appear, found by a quick look at the bytes (strings and
/// nesting only). Incomplete or wrong for a damaged file, which the full
/// reading then refuses.
std::vector<std::string> TopLevelKeys(const std::string& path);

class DocumentStream {
  public:
    DocumentStream(DocumentContent& content, const std::vector<std::string>& topLevelOrder);
    ~DocumentStream();

    // The events of nlohmann::json::sax_parse. Faults throw InputError.
    bool null();
    bool boolean(bool value);
    bool number_integer(std::int64_t value);
    bool number_unsigned(std::uint64_t value);
    bool number_float(double value, const std::string& text);
    bool string(std::string& value);
    bool binary(Json::binary_t& value);
    bool start_object(std::size_t elements);
    bool key(std::string& value);
    bool end_object();
    bool start_array(std::size_t elements);
    bool end_array();
    bool parse_error(std::size_t position, const std::string& lastToken,
                     const nlohmann::detail::exception& error);

  private:
    enum class FrameKind { Top, Section, Objects, Object };
    struct Frame {
        explicit Frame(FrameKind frameKind) : kind(frameKind) {}
        FrameKind kind;
        std::string section;                  // Section: "inks", "paints" or "images"
        std::size_t levels = 0;               // the levels around the frame's container
        document_object_t* parent = nullptr;  // Objects, Object
        int depth = 0;                        // Objects, Object
        std::size_t log = 0;                  // Object: its fields so far (logs_)
        document_object_t* object = nullptr;  // Object: once made
        std::string type;                     // Object: once made
        std::vector<std::string> seen;        // Top, Object: field names met
    };
    struct Level {
        bool array = false;
        std::size_t next = 0;  // arrays: elements begun
        std::string key;       // objects: the current field
    };
    /// Where the events of the value being read go, when it is not read
    /// as it comes.
    enum class Target { None, Capture, Fields };

    /// Called at the start of every value, `container` telling whether it
    /// is an object or array: logs it, or decides what to do with it.
    void BeginValue(bool container, bool object);
    /// After a value (a scalar, or the end of a container) is complete.
    void EndValue();
    /// The JSON pointer of the value being read.
    std::string CurrentPointer() const { return PointerOf(levels_.size()); }
    /// The pointer made of the first `count` levels.
    std::string PointerOf(std::size_t count) const;
    /// A node of `value`, the value being read.
    Node Here(const Json& value) const;
    /// Decides what to do with a value starting here: push a frame for it,
    /// or log it (Target).
    void Route(bool container, bool object);
    EventLog& Log();
    /// A logged value of the innermost frame (or of the whole file).
    void Deliver(EventLog& log);
    void FinishFrame(Frame& frame);
    void ReadTopValue(const std::string& key, const Node& node);
    void ReadDeferred();
    bool StreamsNow(const std::string& key) const;
    void MakeObject(Frame& frame);

    DocumentContent& content_;
    std::map<std::string, bool> streamable_;  // top-level arrays read as they come
    std::map<std::string, std::string> deferredPointer_;
    std::map<std::string, Json> deferred_;
    std::vector<Level> levels_;
    std::vector<Frame> frames_;
    Target target_ = Target::None;
    std::size_t targetDepth_ = 0;  // containers open in the logged value
    EventLog capture_;
    std::vector<std::unique_ptr<EventLog>> logs_;  // objects' fields, by frame
};

}  // namespace rdz::formats::json
