// The converter that pushes the process colours of a document through a
// CMYK-to-CMYK ICC device-link file.
//
// The document's process inks are first mapped onto four CMYK channels by a
// CMS transform on the process "ISOCoated_v2_eci.icc" (the linear strategy);
// the device link, loaded through the library's colour-engine layer, turns
// those four channels into the output values. Objects whose kind the general
// options exclude (CMYK linework, CMYK images) pass through the linear
// strategy only. Every other ink is kept in paints and images.
#pragma once

#include <memory>
#include <vector>

#include "converter/TColorConverter.h"
#include "options/RdzExport.h"
#include "options/TReseparateOptions.h"

class TintLink;

class RDZ_EXPORT TColorConverter_IccDeviceLink : public TColorConverter {
protected:
    /// 0 on success, -1 without a linear strategy or link, or when a stage fails.
    /// Safe to run on several threads at once (the image pass's threads): the
    /// linear strategy (TCMS_ColTransfConvertAligned) and the link
    /// (TintLink::Transform) are, and the buffer between them is per thread
    /// (GetImageWorker): the calling thread's is the converter's own, which
    /// grows only and is reused by paints and rows.
    int Convert(const unsigned char* in, unsigned char* out, int n, bool linework) override;

public:
    ~TColorConverter_IccDeviceLink() override;

protected:
    /// Checks the options (colour-space conversion on, reseparation off),
    /// builds the linear strategy and loads the device link, registers the
    /// process inks as input inks and every other ink as an exception ink.
    /// -1 when the base Init fails; every other failure is reported to the
    /// operator and thrown as std::exception.
    int Init() override;
    /// Releases the device link; the linear strategy and the buffer stay.
    void End() override;

private:
    bool KeepZeroPercentInks() const override;

public:
    /// Copies `options`; loads nothing yet.
    TColorConverter_IccDeviceLink(document_object_t* document,
                                  TGeneralColorConverterOptions& generalOptions,
                                  TReseparateOptions& options);
    /// Copies the options and the buffer; shares the linear strategy and link.
    TColorConverter_IccDeviceLink(const TColorConverter_IccDeviceLink& other);

    using TColorConverter::Convert;

    /// Off by default: every conversion builds its link from the file it
    /// reads. While on (process-wide), a conversion whose device-link file
    /// holds the same bytes as one of the last few converted through, with
    /// the same rendering intent, reuses the link built then: the same
    /// transform, so the same output, without building it again. For a
    /// program converting many documents with one setting; not for use while
    /// another thread converts.
    static void SetLinkReuse(bool reuse);

private:
    /// The transform from the document's process inks to CMYK; empty on failure.
    std::shared_ptr<TColTransf> CreateLinearStrategy();
    /// The device link of the options' file; empty (after a message) on failure.
    std::shared_ptr<const TintLink> CreateIccDeviceLink();

    TReseparateOptions options;
    std::shared_ptr<TColTransf> linearStrategy;
    std::shared_ptr<const TintLink> deviceLink;
    std::vector<unsigned char> deviceLinkBuffer;
    /// The link buffers of the image pass's helper threads (helper k uses
    /// entry k - 1); sized in Init, kept like deviceLinkBuffer.
    std::vector<std::vector<unsigned char>> workerLinkBuffers;
};
