#include "formats/json/EventLog.h"

namespace rdz::formats::json {
namespace {

/// Fields an object may have before its names are kept in a set.
constexpr std::size_t kFewKeys = 16;

}  // namespace

void EventLog::Clear() {
    events_.clear();
    text_.clear();
    for (std::size_t i = 0; i < openCount_; ++i) {
        open_[i].keys.clear();
        open_[i].many.reset();
    }
    openCount_ = 0;
}

void EventLog::Push(Kind kind) {
    Event event;
    event.kind = kind;
    event.boolean = false;
    event.integer = 0;
    event.offset = 0;
    event.size = 0;
    events_.push_back(event);
}

void EventLog::Bool(bool value) {
    Push(Kind::Bool);
    events_.back().boolean = value;
}

void EventLog::Integer(std::int64_t value) {
    Push(Kind::Integer);
    events_.back().integer = value;
}

void EventLog::Unsigned(std::uint64_t value) {
    Push(Kind::Unsigned);
    events_.back().unsignedInteger = value;
}

void EventLog::Float(double value) {
    Push(Kind::Float);
    events_.back().number = value;
}

void EventLog::String(const std::string& value) {
    Push(Kind::String);
    events_.back().offset = text_.size();
    events_.back().size = value.size();
    text_ += value;
}

bool EventLog::Key(const std::string& name) {
    if (openCount_ > 0) {
        OpenContainer& container = open_[openCount_ - 1];
        if (container.many) {
            if (!container.many->insert(name).second) {
                return false;
            }
        } else {
            for (std::size_t index : container.keys) {
                if (Text(events_[index]) == name) {
                    return false;
                }
            }
            if (container.keys.size() >= kFewKeys) {
                container.many = std::make_unique<std::unordered_set<std::string>>();
                for (std::size_t index : container.keys) {
                    container.many->emplace(Text(events_[index]));
                }
                container.many->insert(name);
            }
        }
        container.keys.push_back(events_.size());
    }
    Push(Kind::Key);
    events_.back().offset = text_.size();
    events_.back().size = name.size();
    text_ += name;
    return true;
}

void EventLog::Begin(bool object) {
    Push(object ? Kind::BeginObject : Kind::BeginArray);
    if (openCount_ == open_.size()) {
        open_.emplace_back();
    }
    OpenContainer& container = open_[openCount_++];
    container.object = object;
    container.keys.clear();
    container.many.reset();
}

void EventLog::End() {
    if (openCount_ > 0) {
        --openCount_;
        Push(open_[openCount_].object ? Kind::EndObject : Kind::EndArray);
    }
}

Json EventLog::ToJson() const {
    Json root;
    std::vector<Json*> stack;
    std::string key;
    const auto place = [&](Json value) -> Json* {
        if (stack.empty()) {
            root = std::move(value);
            return &root;
        }
        Json& parent = *stack.back();
        if (parent.is_array()) {
            parent.push_back(std::move(value));
            return &parent.back();
        }
        Json& slot = parent[key];
        slot = std::move(value);
        return &slot;
    };
    for (const Event& event : events_) {
        switch (event.kind) {
            case Kind::Null:
                place(Json());
                break;
            case Kind::Bool:
                place(Json(event.boolean));
                break;
            case Kind::Integer:
                place(Json(event.integer));
                break;
            case Kind::Unsigned:
                place(Json(event.unsignedInteger));
                break;
            case Kind::Float:
                place(Json(event.number));
                break;
            case Kind::String:
                place(Json(std::string(Text(event))));
                break;
            case Kind::Key:
                key = std::string(Text(event));
                break;
            case Kind::BeginObject:
                stack.push_back(place(Json::object()));
                break;
            case Kind::BeginArray:
                stack.push_back(place(Json::array()));
                break;
            case Kind::EndObject:
            case Kind::EndArray:
                stack.pop_back();
                break;
        }
    }
    return root;
}

}  // namespace rdz::formats::json
