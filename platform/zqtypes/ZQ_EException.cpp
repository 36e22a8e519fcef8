#include <utility>

#include "host/ZQTypes.h"

ZQ_EException::ZQ_EException(std::string message) : message_(std::move(message)) {}

ZQ_EException::~ZQ_EException() = default;

const char* ZQ_EException::GetMessage() const {
    return message_.c_str();
}
