#include "formats/json/JsonNode.h"

#include <algorithm>
#include <cmath>
#include <sstream>

namespace rdz::formats::json {

std::string PointerToken(const std::string& key) {
    std::string token;
    token.reserve(key.size());
    for (char c : key) {
        if (c == '~') {
            token += "~0";
        } else if (c == '/') {
            token += "~1";
        } else if (c == '\0') {
            token += "\\u0000";
        } else {
            token += c;
        }
    }
    return token;
}

void FailAt(const std::string& file, const std::string& pointer, const std::string& what) {
    throw InputError(file + ": " + (pointer.empty() ? std::string("top level") : pointer) + ": " +
                     what);
}

std::string UnknownField(std::initializer_list<const char*> keys) {
    std::string list;
    for (const char* key : keys) {
        list += list.empty() ? "" : ", ";
        list += key;
    }
    return "unknown field (known fields: " + list + ")";
}

bool IsKnown(const std::string& key, std::initializer_list<const char*> keys) {
    for (const char* known : keys) {
        if (key == known) {
            return true;
        }
    }
    return false;
}

std::string Node::Pointer() const {
    if (parent_ == nullptr) {
        return rootPointer_ ? rootPointer_() : root_;
    }
    const std::string token = field_ ? PointerToken(std::string(key_)) : std::to_string(index_);
    return parent_->Pointer() + "/" + token;
}

void Node::ExpectObject(std::initializer_list<const char*> keys) const {
    if (!value_.is_object()) {
        Fail("expected an object");
    }
    for (auto it = value_.begin(); it != value_.end(); ++it) {
        if (!IsKnown(it.key(), keys)) {
            Field(it.key()).Fail(UnknownField(keys));
        }
    }
}

Node Node::operator[](const char* key) const {
    if (!Has(key)) {
        Fail(std::string("missing field \"") + key + "\"");
    }
    return Field(key);
}

std::size_t Node::Size() const {
    if (!value_.is_array()) {
        Fail("expected an array");
    }
    return value_.size();
}

std::string Node::String() const {
    if (!value_.is_string()) {
        Fail("expected a text");
    }
    return value_.get<std::string>();
}

bool Node::Bool() const {
    if (!value_.is_boolean()) {
        Fail("expected true or false");
    }
    return value_.get<bool>();
}

double Node::Number(double low, double high) const {
    if (!value_.is_number()) {
        Fail("expected a number");
    }
    const double number = value_.get<double>();
    if (!std::isfinite(number) || number < low || number > high) {
        std::ostringstream range;
        range << "expected a number from " << low << " to " << high;
        Fail(range.str());
    }
    return number;
}

long long Node::Integer(long long low, long long high) const {
    if (!value_.is_number_integer()) {
        Fail("expected a whole number");
    }
    // An unsigned value too large for a long long is out of any range asked for.
    const long long number =
        value_.is_number_unsigned()
            ? static_cast<long long>(std::min<unsigned long long>(
                  value_.get<unsigned long long>(), static_cast<unsigned long long>(high) + 1))
            : value_.get<long long>();
    if (number < low || number > high) {
        Fail("expected a whole number from " + std::to_string(low) + " to " + std::to_string(high));
    }
    return number;
}

}  // namespace rdz::formats::json
