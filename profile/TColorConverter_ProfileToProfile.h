// The converter that moves the process colours of a document from one colour
// profile to another (colour-space conversion), re-separates them on one
// profile with ink saving (reseparation), or does both in a chain: colour-space
// conversion first, reseparation of its result second.
//
// Process inks are converted; every other ink is kept in paints and images.
// The device links computed for the conversion are stored in the CMS database
// under generated names and reused by later conversions with the same settings.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "converter/TColorConverter.h"
#include "options/RdzExport.h"
#include "options/TReseparateOptions.h"

class RDZ_EXPORT TColorConverter_ProfileToProfile : public TColorConverter {
protected:
    /// Paints (`linework` true) and image rows run through their own pair of
    /// transforms; with both stages on, through the chain. 0 on success, -1
    /// on failure (then `out` may hold anything the failing stage wrote, or
    /// nothing when the chain's buffer could not be allocated).
    /// Safe to run on several threads at once (the image pass's threads):
    /// the transforms are (TCMS_ColTransfConvertAligned), and the chain's
    /// buffer is per thread (GetImageWorker): the calling thread's is the
    /// converter's own, which grows only and is reused by paints and rows.
    int Convert(const unsigned char* in, unsigned char* out, int n, bool linework) override;

public:
    ~TColorConverter_ProfileToProfile() override;

protected:
    /// Builds the transforms the options switch on, registers the process inks
    /// as input inks and every other ink as an exception ink, and prepares the
    /// transforms. -1 when both switches are off or a transform cannot be
    /// built; throws std::exception (after an error message) when a profile
    /// named in the options is missing from the CMS database.
    int Init() override;
    /// Releases the transforms, the links, the intermediate inks and buffer.
    void End() override;

private:
    bool KeepZeroPercentInks() const override;

public:
    /// Copies `options`; builds nothing yet.
    TColorConverter_ProfileToProfile(document_object_t* document,
                                     TGeneralColorConverterOptions& generalOptions,
                                     TReseparateOptions& options);
    /// Copies the options and the intermediate inks and shares the links and
    /// transforms; the copy has no intermediate buffer of its own (nor any
    /// helper thread's).
    TColorConverter_ProfileToProfile(const TColorConverter_ProfileToProfile& other);

    using TColorConverter::Convert;

private:
    /// Replaces `*profile` by the current document's colour space when the
    /// document is tagged with one that both the host and the CMS database
    /// know. -1 (profile unchanged, no message) when the CMS database cannot
    /// open it; 0 otherwise.
    int GetDocumentProfile(std::string* profile);
    /// Readies one transform for conversion; the CMS library's result.
    int InitStrategy(std::shared_ptr<TColTransf> strategy,
                     const std::vector<std::shared_ptr<TInk>>& inks, double* opacity, int count,
                     int outputCount);
    /// Transform from the source to the destination profile (`convert`), or
    /// the destination onto itself. Empty on failure.
    std::shared_ptr<TColTransf> CreateColorSpaceConversionStrategy(bool convert);
    /// Ink-saving transform on the reseparated profile (`convert`), or that
    /// profile onto itself. Empty on failure.
    std::shared_ptr<TColTransf> CreateReseparationStrategy(bool convert);
    /// Stores a newly computed link in the CMS database under `prefix` and a
    /// free generated number; a link whose name already holds the prefix was
    /// stored before and only gets its acceleration prepared. 0 when the link
    /// is stored and ready, -1 otherwise.
    int CacheDeviceLink(std::shared_ptr<TProcLink> link, const char* prefix);
    /// With both stages on: makes sure the intermediate inks are those of the
    /// destination profile, even when no reseparation link was built.
    void EnsureIntermediateInks();

    TReseparateOptions options;
    std::shared_ptr<TProcLink> colorSpaceLink;
    std::shared_ptr<TColTransf> lineworkColorSpaceStrategy;
    std::shared_ptr<TColTransf> imageColorSpaceStrategy;
    std::shared_ptr<TProcLink> reseparationLink;
    std::shared_ptr<TColTransf> lineworkReseparationStrategy;
    std::shared_ptr<TColTransf> imageReseparationStrategy;
    int intermediateBufferCapacity;
    int intermediateInkCount;
    std::vector<std::shared_ptr<TInk>> intermediateInks;
    std::unique_ptr<unsigned char[]> intermediateBuffer;
    /// The chain's buffers of the image pass's helper threads (helper k uses
    /// entry k - 1); made in Init, released in End.
    struct WorkerBuffer {
        std::unique_ptr<unsigned char[]> data;
        int capacity = 0;
    };
    std::vector<WorkerBuffer> workerBuffers;
};

/// The clean-colour settings of a colour-space link: one colour per switched-on
/// CleanColorsInk, each reported to the operator.
RDZ_EXPORT std::shared_ptr<TCleanColorsSettings> MakeCleanColorsSettings(
    const TReseparateOptions& options);
