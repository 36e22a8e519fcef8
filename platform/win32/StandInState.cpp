#include "platform/win32/StandInState.h"

#include "platform/win32/ColorProfileData.h"
#include "platform/win32/ColorTransformData.h"
#include "platform/win32/Win32StandIn.h"

namespace rdz_win32 {

StandInState& State() {
    static StandInState state;
    return state;
}

}  // namespace rdz_win32

using rdz_win32::State;

void RdzWin32SetSelectCMMFails(bool fail) {
    State().selectCMMFails = fail;
}

void RdzWin32SetValidityCheckFails(bool fail) {
    State().validityCheckFails = fail;
}

DWORD RdzWin32SelectedCMM() {
    return State().selectedCMM;
}

unsigned int RdzWin32OpenHandleCount() {
    return static_cast<unsigned int>(rdz_win32::ProfileHandles().Size() +
                                     rdz_win32::TransformHandles().Size());
}

unsigned int RdzWin32ProfileWriteCount() {
    return State().profileWrites;
}

void RdzWin32Reset() {
    State() = rdz_win32::StandInState();
    rdz_win32::ResetFolderPaths();
}
