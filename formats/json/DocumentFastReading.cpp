// The fast readings of the common entries of document files, straight from
// their JSON events (DocumentContent.h).
#include "formats/json/DocumentContent.h"

namespace rdz::formats::json {

std::string DocumentContent::StreamableType(const EventLog& fields, int depth) {
    std::size_t open = 0;
    for (std::size_t i = 0; i < fields.Size(); ++i) {
        const EventLog::Event& event = fields[i];
        switch (event.kind) {
            case EventLog::Kind::BeginObject:
            case EventLog::Kind::BeginArray:
                ++open;
                break;
            case EventLog::Kind::EndObject:
            case EventLog::Kind::EndArray:
                --open;
                break;
            case EventLog::Kind::Key:
                if (open == 1 && fields.Text(event) == "type") {
                    if (i + 1 >= fields.Size() || fields[i + 1].kind != EventLog::Kind::String) {
                        return "";
                    }
                    const std::string name(fields.Text(fields[i + 1]));
                    obj_kind_t kind;
                    return ObjectKindOf(name, &kind) && kind != OBJ_KIND_CT_OBJECT ? name : "";
                }
                break;
            default:
                break;
        }
    }
    return depth == 0 ? "component" : "";
}

namespace {

/// Reads events in order; every look past the end sees an end of object.
class Events {
  public:
    explicit Events(const EventLog& log) : log_(log) {}
    EventLog::Kind Kind() const {
        return at_ < log_.Size() ? log_[at_].kind : EventLog::Kind::EndObject;
    }
    const EventLog::Event& Event() const { return log_[at_]; }
    std::string_view Text() const { return log_.Text(log_[at_]); }
    bool AtEnd() const { return at_ >= log_.Size(); }
    void Next() { ++at_; }
    /// The number at hand (any kind of number), as the tree reader takes it.
    bool Number(double* value) const {
        switch (Kind()) {
            case EventLog::Kind::Integer:
                *value = static_cast<double>(Event().integer);
                return true;
            case EventLog::Kind::Unsigned:
                *value = static_cast<double>(Event().unsignedInteger);
                return true;
            case EventLog::Kind::Float:
                *value = Event().number;
                return true;
            default:
                return false;
        }
    }

  private:
    const EventLog& log_;
    std::size_t at_ = 0;
};

}  // namespace

bool DocumentContent::ReadPaintFast(const EventLog& log) {
    using Kind = EventLog::Kind;
    Events in(log);
    if (in.Kind() != Kind::BeginObject || in.AtEnd()) {
        return false;
    }
    in.Next();
    std::string_view id;
    bool haveId = false;
    bool haveSolid = false;
    bool registration = false;
    amounts_.clear();
    while (!in.AtEnd() && in.Kind() == Kind::Key) {
        const std::string_view key = in.Text();
        in.Next();
        if (key == "id" && in.Kind() == Kind::String) {
            id = in.Text();
            haveId = true;
            in.Next();
        } else if (key == "registration" && in.Kind() == Kind::Bool) {
            registration = in.Event().boolean;
            in.Next();
        } else if (key == "solid" && in.Kind() == Kind::BeginArray) {
            haveSolid = true;
            in.Next();
            while (!in.AtEnd() && in.Kind() == Kind::BeginObject) {
                in.Next();
                rdz::kelt::Amount amount;
                bool haveInk = false;
                bool haveFraction = false;
                while (!in.AtEnd() && in.Kind() == Kind::Key) {
                    const std::string_view field = in.Text();
                    in.Next();
                    if (field == "ink" && in.Kind() == Kind::String) {
                        scratch_.assign(in.Text());
                        const auto ink = inks_.find(scratch_);
                        if (ink == inks_.end()) {
                            return false;
                        }
                        amount.ink = ink->second;
                        haveInk = true;
                    } else if (field == "fraction" && in.Number(&amount.fraction)) {
                        if (!(amount.fraction >= 0.0 && amount.fraction <= 1.0)) {
                            return false;
                        }
                        haveFraction = true;
                    } else if (field == "flags" && in.Kind() == Kind::Integer &&
                               in.Event().integer >= -2147483647LL - 1 &&
                               in.Event().integer <= 2147483647LL) {
                        amount.flags = static_cast<int>(in.Event().integer);
                    } else if (field == "flags" && in.Kind() == Kind::Unsigned &&
                               in.Event().unsignedInteger <= 2147483647ULL) {
                        amount.flags = static_cast<int>(in.Event().unsignedInteger);
                    } else {
                        return false;
                    }
                    in.Next();
                }
                if (in.AtEnd() || in.Kind() != Kind::EndObject || !haveInk || !haveFraction) {
                    return false;
                }
                in.Next();
                amounts_.push_back(amount);
            }
            if (in.AtEnd() || in.Kind() != Kind::EndArray) {
                return false;
            }
            in.Next();
        } else {
            return false;
        }
    }
    if (in.AtEnd() || in.Kind() != Kind::EndObject || !haveId || id.empty() || !haveSolid) {
        return false;
    }
    in.Next();
    if (!in.AtEnd()) {
        return false;
    }
    scratch_.assign(id);
    const auto entry = paints_.try_emplace(scratch_, nullptr);
    if (!entry.second) {
        return false;  // used twice: the full reading says so
    }
    entry.first->second = rdz::kelt::AddSolid(Document(), amounts_, registration);
    return true;
}

document_object_t* DocumentContent::ReadObjectFast(const EventLog& fields,
                                                   document_object_t* parent, int depth) {
    using Kind = EventLog::Kind;
    Events in(fields);
    if (in.AtEnd() || in.Kind() != Kind::BeginObject) {
        return nullptr;
    }
    in.Next();
    std::string_view type = depth == 0 ? "component" : "";
    bool haveName = false;
    std::string name;
    attributes_.clear();
    while (!in.AtEnd()) {
        if (in.Kind() != Kind::Key) {
            return nullptr;
        }
        const std::string_view key = in.Text();
        in.Next();
        if (key == "type" && in.Kind() == Kind::String) {
            type = in.Text();
            in.Next();
        } else if (key == "name" && in.Kind() == Kind::String) {
            name.assign(in.Text());
            haveName = true;
            in.Next();
        } else if (key == "attributes" && in.Kind() == Kind::BeginArray) {
            in.Next();
            while (!in.AtEnd() && in.Kind() == Kind::BeginObject) {
                in.Next();
                paint_t* paint = nullptr;
                bool transparent = false;
                while (!in.AtEnd() && in.Kind() == Kind::Key) {
                    const std::string_view field = in.Text();
                    in.Next();
                    if (field == "paint" && in.Kind() == Kind::String) {
                        scratch_.assign(in.Text());
                        const auto found = paints_.find(scratch_);
                        if (found == paints_.end()) {
                            return nullptr;
                        }
                        paint = found->second;
                    } else if (field == "paint" && in.Kind() == Kind::Null) {
                        paint = nullptr;
                    } else if (field == "transparent" && in.Kind() == Kind::Bool) {
                        transparent = in.Event().boolean;
                    } else {
                        return nullptr;
                    }
                    in.Next();
                }
                if (in.AtEnd() || in.Kind() != Kind::EndObject) {
                    return nullptr;
                }
                in.Next();
                attributes_.emplace_back(paint, transparent);
            }
            if (in.AtEnd() || in.Kind() != Kind::EndArray) {
                return nullptr;
            }
            in.Next();
        } else {
            return nullptr;
        }
    }
    obj_kind_t kind;
    if (!ObjectKindOf(std::string(type), &kind) || kind == OBJ_KIND_CT_OBJECT ||
        kind == OBJ_KIND_FORM) {
        return nullptr;
    }
    document_object_t* object =
        rdz::kelt::AddObject(parent, kind, haveName ? name.c_str() : nullptr);
    if (object == nullptr) {
        return nullptr;
    }
    for (const auto& [paint, transparent] : attributes_) {
        rdz::kelt::AddAttribute(object, paint, transparent);
    }
    return object;
}

}  // namespace rdz::formats::json
