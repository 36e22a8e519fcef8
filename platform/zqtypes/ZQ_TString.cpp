#include <cstring>

#include "host/ZQTypes.h"

ZQ_TString::ZQ_TString() = default;

ZQ_TString::ZQ_TString(const char* text, unsigned int length) {
    if (text == nullptr) {
        return;
    }
    // The whole text is read up to its terminating zero, never 4 GiB.
    text_ = length == 0xFFFFFFFFu ? std::string(text) : std::string(text, length);
}

const char* ZQ_TString::GetText() const {
    return text_.c_str();
}
