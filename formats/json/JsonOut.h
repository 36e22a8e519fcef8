// A streaming JSON writer: values go to a file as they are given, laid out
// byte for byte as nlohmann's dump(2) lays out a tree (two spaces of
// indentation, one value per line, "{}" and "[]" for empty containers,
// bytes that are not UTF-8 replaced by U+FFFD), so that a document of a
// million paints is written without ever being a tree in memory.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace rdz::formats::json {

class JsonOut {
  public:
    /// Writes to `path` (created or truncated). Failed() tells whether it
    /// could be opened.
    explicit JsonOut(const std::string& path);
    ~JsonOut();
    JsonOut(const JsonOut&) = delete;
    JsonOut& operator=(const JsonOut&) = delete;

    void BeginObject();
    void EndObject();
    void BeginArray();
    void EndArray();
    /// The next field of the current object (a name of plain ASCII letters);
    /// its value follows.
    void Key(const char* key);

    void String(const std::string& text);
    void Integer(long long value);
    void Unsigned(unsigned long long value);
    void Double(double value);
    void Bool(bool value);
    void Null();

    /// Ends the text with a line break and closes the file. False, with the
    /// system's reason in `error`, when anything could not be written.
    bool Close(std::string* error);

  private:
    class Scalars;
    void BeforeValue();
    void Indent(std::size_t depth);
    void Raw(const char* text, std::size_t size);
    void Raw(const std::string& text) { Raw(text.data(), text.size()); }
    void Flush();
    void StartWriteback();
    void Escaped(const std::string& text);

    struct Level {
        bool array = false;
        bool empty = true;
    };
    std::FILE* file_ = nullptr;
    std::uint64_t written_ = 0;        // bytes handed to the file
    std::uint64_t writebackFrom_ = 0;  // where the next writeback starts
    int error_ = 0;
    std::string buffer_;
    std::unique_ptr<Scalars> scalars_;  // appends to buffer_
    std::vector<Level> levels_;
    bool afterKey_ = false;
};

}  // namespace rdz::formats::json
