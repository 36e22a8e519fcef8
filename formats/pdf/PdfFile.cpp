#include "formats/pdf/PdfFile.h"

#include <qpdf/QPDFExc.hh>
#include <qpdf/QPDFWriter.hh>

#include "formats/Errors.h"
#include "formats/pdf/ContentTokens.h"
#include "formats/pdf/PdfObjects.h"
#include "formats/pdf/StreamData.h"

namespace rdz::formats::pdf {
namespace {

/// Channels of an ICC profile, from its header's colour space.
int ProfileChannels(const std::vector<unsigned char>& icc) {
    if (icc.size() < 20) {
        return 0;
    }
    const std::string space(icc.begin() + 16, icc.begin() + 20);
    return space == "CMYK" ? 4 : space == "RGB " ? 3 : space == "GRAY" ? 1 : 0;
}

}  // namespace

std::string DescribeQpdfError(const QPDFExc& e) {
    std::string text = e.getMessageDetail();
    if (!e.getObject().empty()) {
        text += " (" + e.getObject() + ")";
    }
    if (e.getFilePosition() > 0) {
        text += " at byte " + std::to_string(e.getFilePosition());
    }
    return text;
}

std::unique_ptr<QPDF> OpenPdf(const std::string& path) {
    auto qpdf = std::make_unique<QPDF>();
    qpdf->setSuppressWarnings(true);
    qpdf->setAttemptRecovery(true);
    try {
        qpdf->processFile(path.c_str(), nullptr);
    } catch (const QPDFExc& e) {
        if (e.getErrorCode() == qpdf_e_password) {
            throw InputError(path +
                             ": the PDF is encrypted and opens only with a password; it is not "
                             "converted");
        }
        throw InputError(path + ": not a PDF that can be read: " + DescribeQpdfError(e));
    } catch (const std::exception& e) {
        throw InputError(path + ": not a PDF that can be read: " + e.what());
    }
    return qpdf;
}

std::string RepairWarning(QPDF& qpdf) {
    const std::vector<QPDFExc> warnings = qpdf.getWarnings();
    if (warnings.empty()) {
        return std::string();
    }
    return "the PDF is damaged; it was repaired while reading (" + std::to_string(warnings.size()) +
           (warnings.size() == 1 ? " problem" : " problems") +
           ", the first: " + DescribeQpdfError(warnings.front()) + ")";
}

std::vector<unsigned char> OutputIntentProfile(QPDF& qpdf) {
    QPDFObjectHandle intents = qpdf.getRoot().getKey("/OutputIntents");
    if (!intents.isArray()) {
        return {};
    }
    for (int i = 0; i < intents.getArrayNItems(); ++i) {
        QPDFObjectHandle profile = KeyOf(intents.getArrayItem(i), "/DestOutputProfile");
        if (!profile.isStream()) {
            continue;
        }
        try {
            const std::string data = DecodeStream(profile, std::size_t{64} << 20);
            return std::vector<unsigned char>(data.begin(), data.end());
        } catch (const ContentError&) {
        }
    }
    return {};
}

void UpdateOutputIntents(QPDF& qpdf, const OutputProfile& profile) {
    if (!profile.changed) {
        return;
    }
    QPDFObjectHandle intents = qpdf.getRoot().getKey("/OutputIntents");
    if (!intents.isArray()) {
        return;
    }
    QPDFObjectHandle stream;
    if (!profile.icc.empty()) {
        stream =
            QPDFObjectHandle::newStream(&qpdf, std::string(profile.icc.begin(), profile.icc.end()));
        stream.getDict().replaceKey("/N",
                                    QPDFObjectHandle::newInteger(ProfileChannels(profile.icc)));
    }
    for (int i = 0; i < intents.getArrayNItems(); ++i) {
        QPDFObjectHandle intent = intents.getArrayItem(i);
        if (!intent.isDictionary()) {
            continue;
        }
        if (!profile.icc.empty()) {
            intent.replaceKey("/DestOutputProfile", stream);
            if (!profile.name.empty()) {
                intent.replaceKey("/OutputConditionIdentifier",
                                  QPDFObjectHandle::newUnicodeString(profile.name));
                intent.replaceKey("/Info", QPDFObjectHandle::newUnicodeString(profile.name));
                intent.removeKey("/RegistryName");
                intent.removeKey("/OutputCondition");
            }
        } else {
            // The old profile is no longer true of the converted colours.
            intent.removeKey("/DestOutputProfile");
        }
    }
}

void WritePdf(QPDF& qpdf, const std::string& temporary, const std::string& finalPath) {
    try {
        QPDFWriter writer(qpdf, temporary.c_str());
        writer.setObjectStreamMode(qpdf_o_preserve);
        writer.setCompressStreams(false);
        writer.setDecodeLevel(qpdf_dl_none);
        writer.setPreserveEncryption(true);
        // Written colour spaces use DeviceN and calculator functions.
        writer.setMinimumPDFVersion("1.3");
        writer.write();
    } catch (const std::exception& e) {
        throw WorkError("cannot write '" + finalPath + "': " + e.what());
    }
}

}  // namespace rdz::formats::pdf
