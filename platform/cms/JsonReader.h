// Reading the database's JSON files field by field. Every fault is raised as
// JsonFault with a text that names the field ("inks[2].lab: expected an array
// of 3 numbers"); the loader adds the file name.
#pragma once

#include <array>
#include <initializer_list>
#include <stdexcept>
#include <string>

#include <nlohmann/json.hpp>

namespace rdz::cms::json {

using Json = nlohmann::json;

class JsonFault : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

/// Parses `text`; a syntax error, a number too large for a double, a key
/// given twice in one object and a text holding a NUL character each become
/// a JsonFault (the last two name the field: "inks[2].name: ...").
Json Parse(const std::string& text);

/// "where.key", or "key" at the top level.
std::string Field(const std::string& where, const std::string& key);
/// "where[index]".
std::string Element(const std::string& where, std::size_t index);

[[noreturn]] void Fail(const std::string& where, const std::string& what);

/// `value` must be an object whose keys are all among `allowed`.
void CheckObject(const Json& value, const std::string& where,
                 std::initializer_list<const char*> allowed);
/// `object[key]` when present and not null, else null.
const Json* Find(const Json& object, const char* key);
/// `object[key]` must be an array (absent: an empty array is returned as null).
const Json* FindArray(const Json& object, const char* key, const std::string& where);

/// A text field. `required` false: `fallback` when absent.
std::string String(const Json& object, const char* key, const std::string& where, bool required,
                   const std::string& fallback = std::string());
/// A name: non-empty, at most 255 bytes, no control characters.
std::string Name(const Json& object, const char* key, const std::string& where, bool required,
                 const std::string& fallback = std::string());
/// A number within [min, max]; `fallback` when absent.
double Number(const Json& object, const char* key, const std::string& where, double fallback,
              double min, double max);
/// An integer that must be one of `allowed`; `fallback` when absent.
int Choice(const Json& object, const char* key, const std::string& where, int fallback,
           std::initializer_list<int> allowed);
bool Boolean(const Json& object, const char* key, const std::string& where, bool fallback);
/// A CIE L*a*b* triple: L* in 0..100, a* and b* in -200..200.
std::array<double, 3> Lab(const Json& object, const char* key, const std::string& where);

/// Checks a name given by a caller (not from a file) the way Name does;
/// returns the fault or an empty text.
std::string NameFault(const std::string& name);

}  // namespace rdz::cms::json
