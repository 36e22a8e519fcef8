#include "platform/cms/JsonReader.h"

#include <cmath>
#include <sstream>

namespace rdz::cms::json {

Json Parse(const std::string& text) {
    try {
        return Json::parse(text);
    } catch (const Json::exception& error) {
        // A syntax fault is a parse_error; a number too large for a double
        // ("1e999") is an out_of_range thrown by the same parser, and is as
        // much a fault of the file. nlohmann's text starts with
        // "[json.exception.parse_error.101] ".
        std::string what = error.what();
        const auto bracket = what.find("] ");
        if (bracket != std::string::npos)
            what = what.substr(bracket + 2);
        throw JsonFault("not valid JSON: " + what);
    }
}

std::string Field(const std::string& where, const std::string& key) {
    return where.empty() ? key : where + "." + key;
}

std::string Element(const std::string& where, std::size_t index) {
    return where + "[" + std::to_string(index) + "]";
}

void Fail(const std::string& where, const std::string& what) {
    throw JsonFault(where.empty() ? what : where + ": " + what);
}

void CheckObject(const Json& value, const std::string& where,
                 std::initializer_list<const char*> allowed) {
    if (!value.is_object())
        Fail(where, "expected an object");
    for (const auto& entry : value.items()) {
        bool known = false;
        for (const char* key : allowed)
            known = known || entry.key() == key;
        if (!known)
            Fail(Field(where, entry.key()), "unknown field");
    }
}

const Json* Find(const Json& object, const char* key) {
    const auto found = object.find(key);
    if (found == object.end() || found->is_null())
        return nullptr;
    return &*found;
}

const Json* FindArray(const Json& object, const char* key, const std::string& where) {
    const Json* value = Find(object, key);
    if (value != nullptr && !value->is_array())
        Fail(Field(where, key), "expected an array");
    return value;
}

std::string String(const Json& object, const char* key, const std::string& where, bool required,
                   const std::string& fallback) {
    const Json* value = Find(object, key);
    if (value == nullptr) {
        if (required)
            Fail(Field(where, key), "missing");
        return fallback;
    }
    if (!value->is_string())
        Fail(Field(where, key), "expected a text");
    return value->get<std::string>();
}

std::string NameFault(const std::string& name) {
    if (name.empty())
        return "a name must not be empty";
    if (name.size() > 255)
        return "a name must not be longer than 255 bytes";
    for (const char c : name) {
        if (static_cast<unsigned char>(c) < 0x20)
            return "a name must not hold control characters";
    }
    return std::string();
}

std::string Name(const Json& object, const char* key, const std::string& where, bool required,
                 const std::string& fallback) {
    if (Find(object, key) == nullptr && !required)
        return fallback;
    const std::string name = String(object, key, where, true);
    const std::string fault = NameFault(name);
    if (!fault.empty())
        Fail(Field(where, key), fault);
    return name;
}

namespace {
std::string Range(double min, double max) {
    std::ostringstream text;
    text << "expected a number from " << min << " to " << max;
    return text.str();
}
}  // namespace

double Number(const Json& object, const char* key, const std::string& where, double fallback,
              double min, double max) {
    const Json* value = Find(object, key);
    if (value == nullptr)
        return fallback;
    if (!value->is_number())
        Fail(Field(where, key), Range(min, max));
    const double number = value->get<double>();
    if (!std::isfinite(number) || number < min || number > max) {
        Fail(Field(where, key), Range(min, max));
    }
    return number;
}

int Choice(const Json& object, const char* key, const std::string& where, int fallback,
           std::initializer_list<int> allowed) {
    const Json* value = Find(object, key);
    if (value == nullptr)
        return fallback;
    std::string list;
    for (const int choice : allowed)
        list += (list.empty() ? "" : ", ") + std::to_string(choice);
    if (!value->is_number_integer())
        Fail(Field(where, key), "expected one of " + list);
    const auto number = value->get<long long>();
    for (const int choice : allowed) {
        if (number == choice)
            return choice;
    }
    Fail(Field(where, key), "expected one of " + list);
}

bool Boolean(const Json& object, const char* key, const std::string& where, bool fallback) {
    const Json* value = Find(object, key);
    if (value == nullptr)
        return fallback;
    if (!value->is_boolean())
        Fail(Field(where, key), "expected true or false");
    return value->get<bool>();
}

std::array<double, 3> Lab(const Json& object, const char* key, const std::string& where) {
    const std::string field = Field(where, key);
    const Json* value = Find(object, key);
    if (value == nullptr)
        Fail(field, "missing");
    if (!value->is_array() || value->size() != 3) {
        Fail(field, "expected an array of 3 numbers (L*, a*, b*)");
    }
    std::array<double, 3> lab{};
    for (std::size_t i = 0; i < 3; ++i) {
        const Json& component = (*value)[i];
        if (!component.is_number())
            Fail(field, "expected an array of 3 numbers (L*, a*, b*)");
        lab[i] = component.get<double>();
    }
    if (!(lab[0] >= 0.0 && lab[0] <= 100.0))
        Fail(field, "L* must lie from 0 to 100");
    if (!(lab[1] >= -200.0 && lab[1] <= 200.0 && lab[2] >= -200.0 && lab[2] <= 200.0)) {
        Fail(field, "a* and b* must lie from -200 to 200");
    }
    return lab;
}

}  // namespace rdz::cms::json
