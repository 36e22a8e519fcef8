// The test controls over platform/win32's stand-in.
#include "SystemControls.h"
#include "platform/win32/Win32StandIn.h"

void SystemSetFolderPath(int csidl, const wchar_t* path) {
    RdzWin32SetFolderPath(csidl, path);
}

void SystemSetSelectCMMFails(bool fail) {
    RdzWin32SetSelectCMMFails(fail);
}

void SystemSetValidityCheckFails(bool fail) {
    RdzWin32SetValidityCheckFails(fail);
}

DWORD SystemSelectedCMM() {
    return RdzWin32SelectedCMM();
}

unsigned int SystemOpenHandleCount() {
    return RdzWin32OpenHandleCount();
}

unsigned int SystemProfileWriteCount() {
    return RdzWin32ProfileWriteCount();
}

void SystemReset() {
    RdzWin32Reset();
}

std::string SystemName() {
    return "stand-in";
}

bool SystemIsReal() {
    return false;
}

std::string SystemLacksAdobeCMM() {
    return std::string();  // the stand-in's 'ADBE' follows its preferences file
}
