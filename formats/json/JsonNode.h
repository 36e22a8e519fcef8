// A value of a document file with its place (a JSON pointer), for reading
// with checks: every check that fails throws InputError naming the file and
// the place, "<file>: <JSON pointer>: <what is wrong>".
#pragma once

#include <cstddef>
#include <functional>
#include <initializer_list>
#include <nlohmann/json.hpp>
#include <string>
#include <string_view>

#include "formats/Errors.h"

namespace rdz::formats::json {

using Json = nlohmann::json;

/// `key` as one token of a JSON pointer: '~' becomes "~0", '/' "~1", and a
/// NUL "\u0000" (so that a message never holds one).
std::string PointerToken(const std::string& key);

/// Throws InputError "<file>: <pointer, or 'top level'>: <what>".
[[noreturn]] void FailAt(const std::string& file, const std::string& pointer,
                         const std::string& what);

/// The text of the fault of an unknown field: "unknown field (known fields:
/// a, b, c)".
std::string UnknownField(std::initializer_list<const char*> keys);

/// Whether `key` is among `keys`.
bool IsKnown(const std::string& key, std::initializer_list<const char*> keys);

/// A node refers to its parent (the node it was taken from), which must
/// outlive it; the pointer is only spelt out for a message.
class Node {
  public:
    /// A root: `value` and `file` must outlive the node.
    Node(const Json& value, std::string pointer, const std::string& file)
        : value_(value), root_(std::move(pointer)), file_(file) {}
    /// A root whose pointer `pointer` gives when a message needs it.
    Node(const Json& value, std::function<std::string()> pointer, const std::string& file)
        : value_(value), rootPointer_(std::move(pointer)), file_(file) {}

    [[noreturn]] void Fail(const std::string& what) const { FailAt(file_, Pointer(), what); }
    std::string Pointer() const;

    /// Checks that the value is an object whose fields are all among `keys`.
    void ExpectObject(std::initializer_list<const char*> keys) const;

    bool Has(const char* key) const { return value_.is_object() && value_.contains(key); }
    /// The field, which must be there.
    Node operator[](const char* key) const;
    /// The number of elements of an array (fails for anything else).
    std::size_t Size() const;
    Node operator[](std::size_t index) const { return Node(value_[index], this, false, {}, index); }

    bool IsNull() const { return value_.is_null(); }
    std::string String() const;
    bool Bool() const;
    double Number(double low, double high) const;
    long long Integer(long long low, long long high) const;

    /// Optional fields with their defaults.
    std::string String(const char* key, const std::string& fallback) const {
        return Has(key) ? Field(key).String() : fallback;
    }
    bool Bool(const char* key, bool fallback) const {
        return Has(key) ? Field(key).Bool() : fallback;
    }

  private:
    Node(const Json& value, const Node* parent, bool field, std::string_view key, std::size_t index)
        : value_(value),
          parent_(parent),
          field_(field),
          key_(key),
          index_(index),
          file_(parent->file_) {}
    Node Field(std::string_view key) const {
        return Node(value_[std::string(key)], this, true, key, 0);
    }

    const Json& value_;
    const Node* parent_ = nullptr;              // null for a root
    bool field_ = false;                        // a field (else an element) of the parent
    std::string_view key_;                      // a field's name
    std::size_t index_ = 0;                     // an element's index
    std::string root_;                          // a root's pointer
    std::function<std::string()> rootPointer_;  // or what gives it
    const std::string& file_;
};

}  // namespace rdz::formats::json
