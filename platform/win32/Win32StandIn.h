// Controls of the Windows stand-in for tests and programs that run it off
// Windows: where the shell's application-data folders lie, failures to
// provoke, and a look at its process-wide state. Not part of the Windows
// API; library code never calls these.
#pragma once

#include "host/win32_types.h"

/// Points the special folder `csidl` (CSIDL_APPDATA or CSIDL_COMMON_APPDATA)
/// at `path` from now on. A null `path` makes SHGetFolderPathW fail for that
/// folder, as a shell without it would. The folder need not exist.
void RdzWin32SetFolderPath(int csidl, const wchar_t* path);

/// While `fail` is true, SelectCMM refuses every CMM (returns FALSE with
/// ERROR_INVALID_CMM) and leaves the current CMM as it is.
void RdzWin32SetSelectCMMFails(bool fail);

/// While `fail` is true, IsColorProfileValid returns FALSE without touching
/// its flag, as it does when the colour system cannot examine a profile.
void RdzWin32SetValidityCheckFails(bool fail);

/// Signature of the CMM that SelectCMM chose last ('Win ' at start-up).
DWORD RdzWin32SelectedCMM();

/// Number of profile and transform handles currently open.
unsigned int RdzWin32OpenHandleCount();

/// Number of WritePrivateProfileStringW calls since start-up or the last
/// RdzWin32Reset.
unsigned int RdzWin32ProfileWriteCount();

/// Back to start-up state: CMM 'Win ', no provoked failures, default
/// folders, write count 0. Open handles stay open.
void RdzWin32Reset();
