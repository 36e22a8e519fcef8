// The CMS ink behind a document ink.
#include <string>

#include "converter/TColorConverter.h"

std::shared_ptr<TInk> TColorConverter::MakeCMSInk(inkt_t* ink, double* opacity) {
    const double inkOpacity = INK_is_opaque(ink) != 0 ? 1.0 : 0.0;
    std::shared_ptr<TInk> result;

    // An ink of a registered book is the CMS database's own ink.
    if (ink->book != nullptr) {
        result = TIDB_GetInk(TCMS_GetLib(), IDB_get_inkbook_name(ink->book), ink->name);
    }

    // Otherwise build it from the colour the document keeps on the ink: the
    // chromatic components (stored as offsets, sent as their complements)...
    std::string message;
    if (!result && ink->hasCromValues != 0) {
        std::vector<double> values;
        for (float component : ink->cromValues) {
            values.push_back(1.0 - static_cast<double>(component));
        }
        result = TIDB_GetColorInk(TCMS_GetLib(), "crom_offs", values, inkOpacity, ink->name,
                                  &message, std::string());
    }

    // ... or its RGB colour.
    if (!result) {
        float rgb[3] = {0.0f, 0.0f, 0.0f};
        INK_get_RGB(ink, rgb);
        const std::vector<double> values{rgb[0], rgb[1], rgb[2]};
        result = TIDB_GetColorInk(TCMS_GetLib(), "calibrator", values, inkOpacity, ink->name,
                                  &message, std::string());
    }

    *opacity = inkOpacity;
    return result;
}
