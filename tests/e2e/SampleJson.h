// Reading the converted documents in tests.
#pragma once

#include <cstdint>
#include <map>
#include <nlohmann/json.hpp>
#include <string>

#include "tests/e2e/E2eSupport.h"

namespace rdz::e2e {

inline nlohmann::json ReadJson(const std::string& path) {
    return nlohmann::json::parse(ReadText(path));
}

/// The make-up of paint `index` of the paint list as ink name -> fraction
/// (a solid; for a vignette, step `step`).
inline std::map<std::string, double> MakeUp(const nlohmann::json& document, std::size_t index,
                                            int step = -1) {
    std::map<std::string, std::string> names;
    for (const auto& ink : document["inks"]) {
        names[ink["id"].get<std::string>()] = ink["name"].get<std::string>();
    }
    const nlohmann::json& paint = document["paints"][index];
    const nlohmann::json& amounts =
        step < 0 ? paint["solid"] : paint["vignette"][static_cast<std::size_t>(step)]["solid"];
    std::map<std::string, double> makeUp;
    for (const auto& amount : amounts) {
        makeUp[names[amount["ink"].get<std::string>()]] = amount["fraction"].get<double>();
    }
    return makeUp;
}

/// A fraction as the byte the converters work with.
inline std::uint8_t Byte(double fraction) {
    return static_cast<std::uint8_t>(fraction * 255.0 + 0.5);
}

}  // namespace rdz::e2e
