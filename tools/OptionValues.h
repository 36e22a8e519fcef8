// Reading option values in the units users know. Each function takes the
// option's name (for the message) and its text, and throws UsageError when
// the text is not an acceptable value: a refused value is never clamped.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "host/CMS.h"

namespace rdz::tools {

/// A whole number from `low` to `high`, written in decimal digits with a
/// leading '-' only for a negative number ("7", "-1"; not "+7", "0x7", "7.0",
/// " 7").
long long IntegerValue(const std::string& option, const std::string& text, long long low,
                       long long high);

/// A percentage from 0 to `high`, a plain decimal number ("300", "87.5";
/// not "-1", "3e2", "0x12c", "300%"). Returns it as a fraction: 300 gives 3.0.
double PercentValue(const std::string& option, const std::string& text, double high);

/// A rendering intent by name (perceptual, relative, saturation, absolute;
/// any letter case) or by its ICC number 0..3. Returns the ICC number.
int IccIntentValue(const std::string& option, const std::string& text);
/// The CMS library's number of an ICC intent: 0..3 become 2..5.
TCMS::RenderingIntent CmsIntent(int iccIntent);
/// The name of an ICC intent ("relative colorimetric"); "not one of the four
/// intents" for any other number.
const char* IccIntentName(int iccIntent);

/// A size in bytes: a whole number with an optional K, M, G or T (powers of
/// 1024, an optional "iB" or "B" after it): "512M", "4G", "1048576". 0 means
/// no limit.
std::uint64_t SizeValue(const std::string& option, const std::string& text);

/// The ink-saving purpose by name (none, light, medium, ink-saving, heavy) or
/// number 0..4.
TCMS::BlackGenMode PurposeValue(const std::string& option, const std::string& text);

/// One of `choices` (ignoring letter case); returns the choice as listed.
std::string ChoiceValue(const std::string& option, const std::string& text,
                        const std::vector<std::string>& choices);

/// "a, b or c".
std::string Alternatives(const std::vector<std::string>& choices, const char* conjunction = "or");

}  // namespace rdz::tools
