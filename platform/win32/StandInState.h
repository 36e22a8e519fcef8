// Process-wide state of the Windows stand-in.
#pragma once

#include "host/win32_types.h"

namespace rdz_win32 {

constexpr DWORD kWindowsCMM = 0x57696E20;  // 'Win '
constexpr DWORD kAdobeCMM = 0x41444245;    // 'ADBE'

/// What the colour system and the profile-file functions keep between
/// calls. Unsynchronised, like the colour system's CMM choice it models.
struct StandInState {
    DWORD selectedCMM = kWindowsCMM;
    bool selectCMMFails = false;
    bool validityCheckFails = false;
    unsigned int profileWrites = 0;
};

StandInState& State();

/// Forgets the folders tests pointed elsewhere (ShellFolders.cpp).
void ResetFolderPaths();

}  // namespace rdz_win32
