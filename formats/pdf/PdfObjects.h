// Small, type-checked readers of PDF objects. qpdf reports every access of
// the wrong type as a warning of the file (as if it were damaged), so the
// reader never asks a dictionary question of something that is not one.
#pragma once

#include <cmath>
#include <string>
#include <vector>

#include <qpdf/QPDFObjectHandle.hh>

namespace rdz::formats::pdf {

/// The numbers of an array (empty when `object` is not an array of numbers).
inline std::vector<double> NumbersOf(QPDFObjectHandle object) {
    std::vector<double> out;
    if (!object.isArray()) {
        return out;
    }
    const int n = object.getArrayNItems();
    out.reserve(static_cast<std::size_t>(n));
    for (int i = 0; i < n; ++i) {
        QPDFObjectHandle item = object.getArrayItem(i);
        if (!item.isNumber()) {
            return {};
        }
        const double value = item.getNumericValue();
        if (!std::isfinite(value)) {
            return {};
        }
        out.push_back(value);
    }
    return out;
}

/// An integer (a real is truncated), or `fallback`.
inline int IntegerOf(QPDFObjectHandle object, int fallback) {
    if (object.isInteger()) {
        const long long value = object.getIntValue();
        return value > 1000000000LL || value < -1000000000LL ? fallback : static_cast<int>(value);
    }
    if (object.isReal()) {
        const double value = object.getNumericValue();
        return std::fabs(value) < 1e9 ? static_cast<int>(value) : fallback;
    }
    return fallback;
}

/// The value of `key` in a dictionary or a stream's dictionary; null
/// otherwise.
inline QPDFObjectHandle KeyOf(QPDFObjectHandle object, const char* key) {
    if (object.isStream()) {
        object = object.getDict();
    }
    if (!object.isDictionary()) {
        return QPDFObjectHandle::newNull();
    }
    return object.getKey(key);
}

/// The name `key` names ("/DeviceCMYK"), or "".
inline std::string NameOf(QPDFObjectHandle object) {
    return object.isName() ? object.getName() : std::string();
}

inline bool BoolOf(QPDFObjectHandle object, bool fallback) {
    return object.isBool() ? object.getBoolValue() : fallback;
}

/// "12 0 R" for an indirect object, "" for a direct one.
inline std::string ReferenceOf(QPDFObjectHandle object) {
    if (!object.isIndirect()) {
        return std::string();
    }
    return std::to_string(object.getObjectID()) + " " + std::to_string(object.getGeneration()) +
           " R";
}

/// The name without its slash and with #xx escapes resolved, as a text
/// (qpdf keeps names with the slash and already unescaped).
inline std::string PlainName(const std::string& name) {
    return !name.empty() && name[0] == '/' ? name.substr(1) : name;
}

}  // namespace rdz::formats::pdf
