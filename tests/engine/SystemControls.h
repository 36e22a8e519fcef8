// What the engine tests set and observe in the Windows colour system and
// shell that the engine calls.
//
// Off Windows the controls drive the stand-in of platform/win32. On Windows
// the real system does the work: the application-data folders are pointed
// at test folders through the registry ("User Shell Folders"), and the test
// program's calls of the colour-system, shell and profile-file functions
// pass through wrappers placed in its import table, which count them, pass
// them on, and refuse a call only where a test asks for a failure the real
// system cannot be made to show.
#pragma once

#include <string>
#include <vector>

#include "host/win32_types.h"

/// Points CSIDL_APPDATA or CSIDL_COMMON_APPDATA at `path`. A null `path`
/// makes SHGetFolderPathW fail for that folder.
void SystemSetFolderPath(int csidl, const wchar_t* path);
/// While `fail` is true, SelectCMM refuses every CMM and changes nothing.
void SystemSetSelectCMMFails(bool fail);
/// While `fail` is true, IsColorProfileValid fails without touching its flag.
void SystemSetValidityCheckFails(bool fail);
/// Signature of the CMM that SelectCMM last accepted ('Win ' at start).
DWORD SystemSelectedCMM();
/// Profile and transform handles open now.
unsigned int SystemOpenHandleCount();
/// WritePrivateProfileStringW calls since start or the last SystemReset.
unsigned int SystemProfileWriteCount();
/// Start state: the Windows CMM, no provoked failures, the folders as they
/// were, write count 0. Open handles stay open.
void SystemReset();

/// "stand-in" or "Windows" (with Wine's version where Wine runs it).
std::string SystemName();
/// True when the functions are the real system's.
bool SystemIsReal();

// Probes of what the colour system itself can do, calling its functions
// directly (not through the engine). A test of the engine skips, naming the
// reason, where the system cannot do the work at all; where it can, the
// engine must do it too. Each gives an empty text when the system can.

using SystemBytes = std::vector<unsigned char>;

/// Why the system builds no transform through `profiles` (ICC bytes, in
/// chain order) with `intent` for every profile.
std::string SystemCannotLink(const std::vector<SystemBytes>& profiles, DWORD intent);
/// Why the system gives no PostScript colour-space array (`crd` false) or
/// colour-rendering dictionary (`crd` true) of `profile`.
std::string SystemCannotWritePostScript(const SystemBytes& profile, bool crd);
/// Whether the system opens `profile` and finds it valid.
bool SystemAcceptsProfile(const SystemBytes& profile);
/// Why the system's BM_LabTRIPLETS are not b, a, L in memory (the order the
/// engine hands Lab pixels over in), found by converting sRGB white through
/// `srgb` into `lab`.
std::string SystemLabTripletsDiffer(const SystemBytes& srgb, const SystemBytes& lab);
/// Why the Adobe CMM's own handling of black-point compensation cannot be
/// checked here (it is not installed).
std::string SystemLacksAdobeCMM();
