// Clipping the explicit output values of an advanced item at 100%.
#include <vector>

#include "strategy/TColorConverter_RodadazErivo.h"

bool ClipAdvItemValues(std::shared_ptr<TColTransf> strategy, const char* book, const char* ink) {
    if (book == nullptr || ink == nullptr || book[0] == '\0' || ink[0] == '\0') {
        return false;
    }
    const int index = TCMS_ColTransfAdvItemGetInkIndex(strategy, ink, book);
    if (index < 0) {
        return false;
    }
    if (TCMS_ColTransfAdvItemGetOption(strategy, index) != TCMS::InkOptionExplicitValues) {
        return false;
    }
    const char* destination = nullptr;
    if (TCMS_ColTransfGetSrcDstProfileNames(strategy, nullptr, &destination, true) != 0) {
        return false;
    }
    int nrInks = 0;
    int nrSpotInks = 0;
    TCMSDB_ProcGetNrs(TCMS_GetLib(), destination, &nrInks, &nrSpotInks);
    const int n = nrInks + TCMS_ColTransfGetExtraOutputInksForCustomValues(strategy, nullptr);
    if (n < 1) {
        return false;
    }
    std::vector<double> values(static_cast<size_t>(n), 0.0);
    if (TCMS_ColTransfAdvItemGetValues(strategy, index, values.data()) != 0) {
        return false;
    }
    bool clipped = false;
    for (double& value : values) {
        if (value > 100.0) {  // a NaN compares false and stays as it is
            value = 100.0;
            clipped = true;
        }
    }
    if (!clipped) {
        return false;
    }
    const int option = TCMS_ColTransfAdvItemGetOptionGUI(strategy, index);
    return TCMS_ColTransfAdvItemChange(strategy, index, ink, book, option, n, values.data(),
                                       nullptr, nullptr) == 0;
}
