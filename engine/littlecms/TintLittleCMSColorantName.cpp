#include "engine/littlecms/TintLittleCMSColorantName.h"

#include "engine/TintException.h"
#include "engine/littlecms/TintLittleCMSErrorCode.h"

namespace {
const char kInvalidName[] = "INVALID";
}

std::string TintLittleCMSColorantName(cmsHPROFILE profile, cmsTagSignature tag,
                                      TintColorSpace space, const char* unreadableTableMessage,
                                      unsigned int index) {
    std::string name = kInvalidName;

    g_tintLittleCMSErrorCode = 0;
    if (cmsIsTag(profile, tag)) {
        g_tintLittleCMSErrorCode = 0;
        const auto* table = static_cast<const cmsNAMEDCOLORLIST*>(cmsReadTag(profile, tag));
        if (table == nullptr || g_tintLittleCMSErrorCode != 0) {
            throw TintException(unreadableTableMessage);
        }
        // LittleCMS copies the name with strcpy; its names are at most
        // cmsMAX_PATH bytes including the terminator. It refuses an index
        // beyond the table, which then keeps "INVALID".
        char buffer[cmsMAX_PATH] = {};
        if (cmsNamedColorInfo(table, index, buffer, nullptr, nullptr, nullptr, nullptr)) {
            name = buffer;
        }
        return name;
    }

    g_tintLittleCMSErrorCode = 0;
    const cmsUInt32Number version = cmsGetEncodedICCversion(profile);
    if ((version >> 24) != 2 || g_tintLittleCMSErrorCode != 0) {
        throw TintException("unable to get colorant names");
    }
    return TintDefaultColorantName(space, index, name);
}
