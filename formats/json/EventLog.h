// The JSON events of one value (an entry of a document file, or the fields
// of an object read so far), kept flat so that the common shapes can be
// read straight from them, without building a tree; ToJson builds the tree
// for everything else. A log is cleared and reused: once it has grown, it
// takes no memory from the system per value.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "formats/json/JsonNode.h"

namespace rdz::formats::json {

class EventLog {
  public:
    enum class Kind : std::uint8_t {
        Null,
        Bool,
        Integer,
        Unsigned,
        Float,
        String,
        Key,
        BeginObject,
        EndObject,
        BeginArray,
        EndArray
    };
    struct Event {
        Kind kind;
        bool boolean;
        union {
            std::int64_t integer;
            std::uint64_t unsignedInteger;
            double number;
        };
        std::size_t offset;  // String and Key: the text in the log
        std::size_t size;
    };

    void Clear();
    bool Empty() const { return events_.empty(); }
    /// Containers begun and not yet ended.
    std::size_t Depth() const { return openCount_; }

    void Null() { Push(Kind::Null); }
    void Bool(bool value);
    void Integer(std::int64_t value);
    void Unsigned(std::uint64_t value);
    void Float(double value);
    void String(const std::string& value);
    /// A field of the object being logged; false (nothing logged) when the
    /// object has that field already.
    bool Key(const std::string& name);
    void Begin(bool object);
    void End();

    std::size_t Size() const { return events_.size(); }
    const Event& operator[](std::size_t index) const { return events_[index]; }
    std::string_view Text(const Event& event) const {
        return std::string_view(text_).substr(event.offset, event.size);
    }
    /// The value the log holds, as a tree; containers not yet ended are
    /// taken as they are.
    Json ToJson() const;

  private:
    /// The fields of an object being logged, to find a repeated one.
    struct OpenContainer {
        bool object = false;
        std::vector<std::size_t> keys;                          // their events
        std::unique_ptr<std::unordered_set<std::string>> many;  // beyond a few
    };
    void Push(Kind kind);

    std::vector<Event> events_;
    std::string text_;
    std::vector<OpenContainer> open_;  // the first openCount_ are open
    std::size_t openCount_ = 0;
};

}  // namespace rdz::formats::json
