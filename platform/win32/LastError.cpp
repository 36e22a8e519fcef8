#include "host/win32_types.h"

namespace {

thread_local DWORD t_lastError = ERROR_SUCCESS;

}  // namespace

extern "C" DWORD WINAPI GetLastError(void) {
    return t_lastError;
}

extern "C" void WINAPI SetLastError(DWORD code) {
    t_lastError = code;
}
