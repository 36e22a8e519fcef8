#include "platform/cms/TInk.h"

#include <utility>

TInk::TInk(Properties properties) : p_(std::move(properties)) {}

const std::string& TInk::BookDisplayName() const {
    return p_.bookDisplayName.empty() ? p_.book : p_.bookDisplayName;
}

const std::string& TInk::DisplayName() const {
    return p_.displayName.empty() ? p_.name : p_.displayName;
}
