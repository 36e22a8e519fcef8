// The CMMs the stand-in knows and what sets them apart.
#pragma once

namespace rdz_win32 {

/// Whether a transform created now applies black-point compensation. The
/// Windows CMM never does. The Adobe CMM follows its preferences file,
/// "<folder>/Adobe/Color/AdobeCMMPrefs.txt" of the user's application-data
/// folder, else of the common one: section "AdobeCMM", key
/// "BlackPointCompensation", on exactly when the value is "1"; on when
/// neither file exists.
bool CurrentCMMUsesBlackPointCompensation();

}  // namespace rdz_win32
