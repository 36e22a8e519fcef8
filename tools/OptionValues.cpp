#include "tools/OptionValues.h"

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <limits>

#include "formats/Errors.h"
#include "formats/InkBooks.h"

namespace rdz::tools {
using rdz::formats::EqualsIgnoringCase;
using rdz::formats::UsageError;
namespace {

bool AllDigits(const std::string& text, std::size_t from, std::size_t to) {
    if (from >= to) {
        return false;
    }
    for (std::size_t i = from; i < to; ++i) {
        if (std::isdigit(static_cast<unsigned char>(text[i])) == 0) {
            return false;
        }
    }
    return true;
}

/// Digits, optionally one '.' and more digits.
bool PlainDecimal(const std::string& text) {
    const std::size_t dot = text.find('.');
    if (dot == std::string::npos) {
        return AllDigits(text, 0, text.size());
    }
    return AllDigits(text, 0, dot) && AllDigits(text, dot + 1, text.size());
}

std::string Trimmed(double value) {
    std::string text = std::to_string(value);
    while (!text.empty() && text.back() == '0') {
        text.pop_back();
    }
    if (!text.empty() && text.back() == '.') {
        text.pop_back();
    }
    return text;
}

constexpr const char* kIntentNames[] = {"perceptual", "relative", "saturation", "absolute"};

}  // namespace

std::string Alternatives(const std::vector<std::string>& choices, const char* conjunction) {
    std::string text;
    for (std::size_t i = 0; i < choices.size(); ++i) {
        if (i > 0) {
            text += i + 1 == choices.size() ? std::string(" ") + conjunction + " " : ", ";
        }
        text += choices[i];
    }
    return text;
}

long long IntegerValue(const std::string& option, const std::string& text, long long low,
                       long long high) {
    const std::size_t start = !text.empty() && text[0] == '-' ? 1 : 0;
    bool ok = AllDigits(text, start, text.size()) && text.size() <= 18;
    long long value = 0;
    if (ok) {
        value = std::strtoll(text.c_str(), nullptr, 10);
        ok = value >= low && value <= high;
    }
    if (!ok) {
        throw UsageError(option + " expects a whole number from " + std::to_string(low) + " to " +
                         std::to_string(high) + ", not '" + text + "'");
    }
    return value;
}

double PercentValue(const std::string& option, const std::string& text, double high) {
    bool ok = PlainDecimal(text) && text.size() <= 32;
    double value = 0.0;
    if (ok) {
        value = std::strtod(text.c_str(), nullptr);
        ok = value >= 0.0 && value <= high;
    }
    if (!ok) {
        throw UsageError(option + " expects a percentage from 0 to " + Trimmed(high) +
                         " (a plain decimal number such as " +
                         (high > 100.0 ? "300 or 287.5" : "90 or 12.5") + "), not '" + text + "'");
    }
    return value / 100.0;
}

int IccIntentValue(const std::string& option, const std::string& text) {
    for (int i = 0; i < 4; ++i) {
        if (EqualsIgnoringCase(text, kIntentNames[i]) || text == std::to_string(i)) {
            return i;
        }
    }
    throw UsageError(option +
                     " expects perceptual, relative, saturation or absolute (or their ICC "
                     "numbers 0 to 3), not '" +
                     text + "'");
}

TCMS::RenderingIntent CmsIntent(int iccIntent) {
    return static_cast<TCMS::RenderingIntent>(iccIntent + TCMS::Perceptual);
}

const char* IccIntentName(int iccIntent) {
    static const char* const kLongNames[] = {"perceptual", "relative colorimetric", "saturation",
                                             "absolute colorimetric"};
    return iccIntent >= 0 && iccIntent <= 3 ? kLongNames[iccIntent] : "not one of the four intents";
}

std::uint64_t SizeValue(const std::string& option, const std::string& text) {
    std::size_t digits = 0;
    while (digits < text.size() && std::isdigit(static_cast<unsigned char>(text[digits])) != 0) {
        ++digits;
    }
    std::string unit = text.substr(digits);
    int shift = -1;
    if (unit.empty() || EqualsIgnoringCase(unit, "B")) {
        shift = 0;
    } else {
        static const char kUnits[] = "KMGT";
        for (int u = 0; u < 4; ++u) {
            const std::string letter(1, kUnits[u]);
            if (EqualsIgnoringCase(unit, letter) || EqualsIgnoringCase(unit, letter + "B") ||
                EqualsIgnoringCase(unit, letter + "iB")) {
                shift = 10 * (u + 1);
            }
        }
    }
    bool ok = digits > 0 && digits <= 15 && shift >= 0;
    std::uint64_t value = 0;
    if (ok) {
        value = std::strtoull(text.substr(0, digits).c_str(), nullptr, 10);
        ok = value <= (std::numeric_limits<std::uint64_t>::max() >> shift);
        value <<= shift;
    }
    if (!ok) {
        throw UsageError(option +
                         " expects a size such as 512M or 4G (a whole number, then K, M, G or "
                         "T), not '" +
                         text + "'");
    }
    return value;
}

TCMS::BlackGenMode PurposeValue(const std::string& option, const std::string& text) {
    static const char* const kNames[] = {"none", "light", "medium", "ink-saving", "heavy"};
    for (int i = 0; i < 5; ++i) {
        if (EqualsIgnoringCase(text, kNames[i]) || text == std::to_string(i)) {
            return static_cast<TCMS::BlackGenMode>(i);
        }
    }
    throw UsageError(option +
                     " expects none, light, medium, ink-saving or heavy (or 0 to 4), not '" + text +
                     "'");
}

std::string ChoiceValue(const std::string& option, const std::string& text,
                        const std::vector<std::string>& choices) {
    for (const std::string& choice : choices) {
        if (EqualsIgnoringCase(text, choice)) {
            return choice;
        }
    }
    throw UsageError(option + " expects " + Alternatives(choices) + ", not '" + text + "'");
}

}  // namespace rdz::tools
