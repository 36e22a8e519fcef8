// Keeps C++ exceptions inside the C functions of the stand-in.
#pragma once

#include "host/win32_types.h"

namespace rdz_win32 {

/// Runs `body` and returns its result; if it throws (only allocation can),
/// sets ERROR_NOT_ENOUGH_MEMORY and returns `failure` instead.
template <class Result, class Body>
Result Guarded(Result failure, Body&& body) {
    try {
        return body();
    } catch (...) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return failure;
    }
}

}  // namespace rdz_win32
