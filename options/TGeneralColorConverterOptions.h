// What every converter honours: which kinds of object to convert, flattening
// and the registration colour.
#pragma once

#include <string>

#include "options/RdzExport.h"

class RDZ_EXPORT TGeneralColorConverterOptions {
public:
    /// Defaults: no strategy name; convert CMYK linework and images; flatten;
    /// paints inside opacity masks protected; registration colour not kept.
    TGeneralColorConverterOptions();
    TGeneralColorConverterOptions(const TGeneralColorConverterOptions& other);
    TGeneralColorConverterOptions& operator=(const TGeneralColorConverterOptions& other);
    ~TGeneralColorConverterOptions();

    /// Valid until the next SetColorStrategy or the end of this object.
    const char* GetColorStrategy() const;
    void SetColorStrategy(std::string name);

    bool GetConvertCMYKLinework() const;
    void SetConvertCMYKLinework(bool convert);
    /// Switches the whole image pass on or off.
    bool GetConvertCMYKImages() const;
    void SetConvertCMYKImages(bool convert);
    bool GetFlatten() const;
    void SetFlatten(bool flatten);
    /// When false (and flatten is false) paints inside opacity masks keep their colours.
    bool GetConvertOpacityMaskPaints() const;
    void SetConvertOpacityMaskPaints(bool convert);
    bool GetKeepRegistrationColor() const;
    void SetKeepRegistrationColor(bool keep);

private:
    std::string colorStrategy;
    bool convertCMYKLinework;
    bool convertCMYKImages;
    bool flatten;
    bool convertOpacityMaskPaints;
    bool keepRegistrationColor;
};
