#include "options/TGeneralColorConverterOptions.h"

#include <utility>

TGeneralColorConverterOptions::TGeneralColorConverterOptions()
    : convertCMYKLinework(true),
      convertCMYKImages(true),
      flatten(true),
      convertOpacityMaskPaints(false),
      keepRegistrationColor(false) {}

TGeneralColorConverterOptions::TGeneralColorConverterOptions(
    const TGeneralColorConverterOptions& other) = default;
TGeneralColorConverterOptions& TGeneralColorConverterOptions::operator=(
    const TGeneralColorConverterOptions& other) = default;
TGeneralColorConverterOptions::~TGeneralColorConverterOptions() = default;

const char* TGeneralColorConverterOptions::GetColorStrategy() const { return colorStrategy.c_str(); }
void TGeneralColorConverterOptions::SetColorStrategy(std::string name) {
    colorStrategy = std::move(name);
}
bool TGeneralColorConverterOptions::GetConvertCMYKLinework() const { return convertCMYKLinework; }
void TGeneralColorConverterOptions::SetConvertCMYKLinework(bool convert) {
    convertCMYKLinework = convert;
}
bool TGeneralColorConverterOptions::GetConvertCMYKImages() const { return convertCMYKImages; }
void TGeneralColorConverterOptions::SetConvertCMYKImages(bool convert) {
    convertCMYKImages = convert;
}
bool TGeneralColorConverterOptions::GetFlatten() const { return flatten; }
void TGeneralColorConverterOptions::SetFlatten(bool value) { flatten = value; }
bool TGeneralColorConverterOptions::GetConvertOpacityMaskPaints() const {
    return convertOpacityMaskPaints;
}
void TGeneralColorConverterOptions::SetConvertOpacityMaskPaints(bool convert) {
    convertOpacityMaskPaints = convert;
}
bool TGeneralColorConverterOptions::GetKeepRegistrationColor() const {
    return keepRegistrationColor;
}
void TGeneralColorConverterOptions::SetKeepRegistrationColor(bool keep) {
    keepRegistrationColor = keep;
}
