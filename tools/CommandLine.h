// The command lines of `rodadazerivo convert` and `rodadazerivo preview`.
#pragma once

#include <string>
#include <vector>

#include "options/TGeneralColorConverterOptions.h"
#include "options/TReseparateOptions.h"
#include "options/TRodadazErivoOptions.h"

namespace rdz::tools {

enum class Method { None, Strategy, Profile, DeviceLink };

/// The method as messages name it: "Color Strategy", "profile", "device-link".
const char* MethodName(Method method);

/// Everything a conversion needs, as the command line gave it.
struct ConversionRequest {
    bool help = false;
    Method method = Method::None;
    /// The CMS database folder; empty for an empty database.
    std::string cmsFolder;
    TGeneralColorConverterOptions general;
    TRodadazErivoOptions strategy;
    TReseparateOptions reseparate;
    bool resolve = false;
    std::string input;
    std::string output;
};

/// Parses the arguments that follow `convert` (a method is required) or
/// `preview` (the method is optional and the output is a PNG file). Option
/// values map one to one onto the option records; the program's own defaults
/// differ in one place: the strategy type is 0 (any type) unless given.
/// Throws UsageError for anything it cannot accept. With --help it returns at
/// once with `help` set.
ConversionRequest ParseConversion(const std::vector<std::string>& args, bool preview);

/// Parses a whole number or a number; false when `text` is not one exactly.
bool ParseInteger(const std::string& text, long long* value);
bool ParseNumber(const std::string& text, double* value);

}  // namespace rdz::tools
