// Opening a PDF with qpdf and writing it back, objects preserved.
#pragma once

#include <memory>
#include <string>

#include <qpdf/QPDF.hh>
#include <qpdf/QPDFExc.hh>

#include "formats/DocumentFormat.h"

namespace rdz::formats::pdf {

/// The text of a qpdf error: what, the object and the byte where it says.
std::string DescribeQpdfError(const QPDFExc& error);

/// Opens `path` (an encrypted file only when it opens without a password;
/// qpdf repairs what it can). Throws InputError naming the file and, where
/// qpdf says, the object.
std::unique_ptr<QPDF> OpenPdf(const std::string& path);

/// The problems qpdf met and repaired since the last call, as one warning
/// text ("" when there were none).
std::string RepairWarning(QPDF& qpdf);

/// Sets the output intents' destination profile after a conversion that
/// changed the colour space: the new profile, or none when it is unknown.
/// Leaves them alone when the colour space stayed.
void UpdateOutputIntents(QPDF& qpdf, const OutputProfile& profile);

/// The first output intent's destination profile (empty when none).
std::vector<unsigned char> OutputIntentProfile(QPDF& qpdf);

/// Writes the document to `temporary`: streams as they are stored (only
/// those the conversion replaced are new), object streams and encryption as
/// in the input. Throws WorkError naming `finalPath`.
void WritePdf(QPDF& qpdf, const std::string& temporary, const std::string& finalPath);

}  // namespace rdz::formats::pdf
