// The converter that applies a named Color Strategy of the CMS database.
//
// For every ink of the document the strategy, the exception list and the
// options decide whether the ink is converted into the strategy's output inks
// or kept; each decision is reported to the operator. Paints and image rows
// are then converted by the strategy's own transform.
#pragma once

#include <memory>

#include "converter/TColorConverter.h"
#include "options/RdzExport.h"
#include "options/TRodadazErivoOptions.h"

class RDZ_EXPORT TColorConverter_RodadazErivo : public TColorConverter {
protected:
    /// Converts `n` pixels with the strategy (paints and image rows alike).
    /// Safe to run on several threads at once (the image pass's threads), as
    /// TCMS_ColTransfConvertAligned is; it keeps no state of its own.
    int Convert(const unsigned char* in, unsigned char* out, int n, bool linework) override;

public:
    ~TColorConverter_RodadazErivo() override;

protected:
    /// Finds and checks the strategy, decides every document ink, prepares the
    /// strategy for conversion and registers its output inks. Returns -1 when
    /// the base Init fails; reports every other failure to the operator and
    /// throws std::exception.
    int Init() override;
    /// Ends the strategy's conversion and releases it.
    void End() override;

private:
    /// True when the strategy changes one of these plane inks.
    bool DoImageRequiresConversion(int nrInks, inkt_t** inks) const override;

public:
    /// Copies `options` (later changes to the caller's record have no effect).
    /// Does not touch the CMS database.
    TColorConverter_RodadazErivo(document_object_t* document,
                                 TGeneralColorConverterOptions& generalOptions,
                                 TRodadazErivoOptions& options);
    /// Copies the options and shares the strategy.
    TColorConverter_RodadazErivo(const TColorConverter_RodadazErivo& other);

    using TColorConverter::Convert;

private:
    /// What the walk over the document inks reads besides the options.
    struct InkSettings {
        bool convertOpaqueInks;
        bool convertUnregisteredInks;
        bool convertTechnicalInks;
        bool convertVarnishInks;
        InkNotInStrategyPolicy policy;
    };

    /// Decides every ink of the document, reports each decision and registers
    /// it with the base tables. Throws std::exception under policy 2 for an
    /// ink that the strategy does not define.
    void DecideInks(const InkSettings& settings);
    /// True when the strategy converts this ink as a process ink or has an
    /// advanced item for it (book and ink compared ignoring case).
    bool IsInkInStrategy(const char* ink, const char* book);

    TRodadazErivoOptions options;
    std::shared_ptr<TColTransf> strategy;
};

/// Clips the explicit output values of the ink's advanced item at 100. True
/// when the item gives explicit values, some were above 100, and the clipped
/// values were written back into the strategy; false otherwise (and for any
/// failing step).
bool ClipAdvItemValues(std::shared_ptr<TColTransf> strategy, const char* book, const char* ink);
