#include "platform/cms/JsonReader.h"

#include "platform/common/ControlCharacters.h"

#include <cmath>
#include <set>
#include <sstream>
#include <vector>

namespace rdz::cms::json {

namespace {

/// Builds the value from the parser's events, as nlohmann's own DOM parser
/// does, and refuses on the way what that parser lets through: a key given
/// twice in one object (it would keep the last value without a word) and a
/// text holding a NUL (which would cut a name short where C strings take
/// it), each with the place named. (nlohmann's callback parser would do the
/// checks too, but it searches the enclosing array after every object: a
/// book of n inks would cost n^2 steps.)
class CheckedBuilder : public nlohmann::json_sax<Json> {
  public:
    explicit CheckedBuilder(Json& root) : root_(root) {}

    bool null() override { return Put(Json()); }
    bool boolean(bool value) override { return Put(Json(value)); }
    bool number_integer(number_integer_t value) override { return Put(Json(value)); }
    bool number_unsigned(number_unsigned_t value) override { return Put(Json(value)); }
    bool number_float(number_float_t value, const string_t&) override { return Put(Json(value)); }
    bool string(string_t& value) override {
        if (value.find('\0') != std::string::npos)
            Fail(Place(), "a text must not hold a NUL character");
        return Put(Json(std::move(value)));
    }
    bool binary(binary_t& value) override { return Put(Json::binary(std::move(value))); }

    bool start_object(std::size_t) override { return Open(Json::object()); }
    bool key(string_t& key) override {
        Frame& object = frames_.back();
        object.key = key;
        if (!object.keys.insert(key).second)
            Fail(Place(), "the field is given twice in one object");
        return true;
    }
    bool end_object() override { return Close(); }
    bool start_array(std::size_t) override { return Open(Json::array()); }
    bool end_array() override { return Close(); }

    bool parse_error(std::size_t, const std::string&,
                     const nlohmann::detail::exception& error) override {
        // A syntax fault, or a number too large for a double ("1e999").
        // nlohmann's text starts with "[json.exception.parse_error.101] ".
        std::string what = error.what();
        const auto bracket = what.find("] ");
        if (bracket != std::string::npos)
            what = what.substr(bracket + 2);
        throw JsonFault("not valid JSON: " + what);
    }

  private:
    struct Frame {
        explicit Frame(Json* v) : value(v) {}
        Json* value;      // the object or array being filled
        std::string key;  // object: the key whose value comes next
        std::set<std::string> keys;
    };

    /// The field being read: "inks[2].name". An enclosing array is filling
    /// its last element; the innermost one is about to add one.
    std::string Place() const {
        std::string place;
        for (std::size_t i = 0; i < frames_.size(); ++i) {
            const Json& value = *frames_[i].value;
            if (value.is_object()) {
                place = Field(place, frames_[i].key);
            } else {
                const bool innermost = i + 1 == frames_.size();
                place = Element(place, innermost ? value.size() : value.size() - 1);
            }
        }
        return place;
    }

    /// Stores a value where it belongs and returns where it went. A pointer
    /// into an array stays valid while that element is the one being
    /// filled: the array grows only after it is complete.
    Json* Store(Json&& value) {
        if (frames_.empty()) {
            root_ = std::move(value);
            return &root_;
        }
        Frame& frame = frames_.back();
        if (frame.value->is_array()) {
            auto& array = frame.value->get_ref<Json::array_t&>();
            array.push_back(std::move(value));
            return &array.back();
        }
        Json& slot = (*frame.value)[frame.key];
        slot = std::move(value);
        return &slot;
    }

    bool Put(Json&& value) {
        Store(std::move(value));
        return true;
    }
    bool Open(Json&& container) {
        frames_.emplace_back(Store(std::move(container)));
        return true;
    }
    bool Close() {
        frames_.pop_back();
        return true;
    }

    Json& root_;
    std::vector<Frame> frames_;
};

}  // namespace

Json Parse(const std::string& text) {
    Json value;
    CheckedBuilder builder(value);
    Json::sax_parse(text, &builder);
    return value;
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
    if (rdz::platform::HasControlCharacter(name))
        return "a name must not hold control characters";
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
