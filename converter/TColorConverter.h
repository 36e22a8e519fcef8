// The abstract converter: everything about converting a document that does not
// depend on how colours are transformed.
//
// A concrete converter fills the ink tables in its Init (which document inks
// are converted, which are kept, which come out) and supplies the pixel
// transform; the base walks the document, converts paints and images and calls
// the transform under the pixel-buffer convention below.
//
// Pixel-buffer convention of Convert(in, out, n, linework):
//  - `in` holds n pixels of GetNrInputInks() bytes; byte c belongs to input
//    ink c (the order of AddInputInk calls).
//  - `out` receives n pixels of GetNrOutputInks(true) bytes; byte k belongs to
//    output channel k, dropped channels included. Convert writes every byte.
//  - A byte is an ink amount, 0..255 for 0%..100%. Paint fractions enter as
//    fraction x 255 rounded half away from zero and leave as byte / 255.
//  - An input ink a paint does not use is 0. Exception inks never enter a
//    pixel; opacity is not part of a pixel (see GetInputOpacity).
//  - `linework` is true for a paint (n is 1) and false for an image row.
//
// Threads: a converter object is used by one thread at a time. Inside
// Convert(), the image pass may run the pixel Convert of image rows on several
// threads at once (SetThreadCount); paints are always converted one after the
// other on the calling thread. A concrete Convert must therefore be safe to
// run concurrently on one object for image rows, and keeps what it changes
// per thread (GetImageWorker).
#pragma once

#include <memory>
#include <set>
#include <vector>

#include "host/CMS.h"
#include "host/kelt_db.h"
#include "options/RdzExport.h"
#include "options/TGeneralColorConverterOptions.h"

class WorkerPool;

class RDZ_EXPORT TColorConverter {
protected:
    /// Converts `n` pixels from `in` to `out`; 0 on success, non-zero on failure.
    virtual int Convert(const unsigned char* in, unsigned char* out, int n, bool linework) = 0;

public:
    /// Ends this object's initialisation of the CMS library, then releases the tables.
    virtual ~TColorConverter();

protected:
    /// Starts a conversion: empties every ink table. Overrides call it first,
    /// then register their inks. 0 lets the passes run; anything else stops
    /// Convert() at once, without End.
    virtual int Init();
    /// Ends a conversion: empties the ink tables (releasing the CMS inks).
    /// Overrides release their own objects first, then call it.
    virtual void End();

private:
    /// Whether an image definition with these plane inks (entries may be
    /// null) must be rewritten. The base answers true.
    virtual bool DoImageRequiresConversion(int nrInks, inkt_t** inks) const;
    /// Whether a converted paint keeps, at 0%, the inks that the conversion
    /// removed from it. The base answers false.
    virtual bool KeepZeroPercentInks() const;

public:
    /// Member-wise copy: same document and options, copies of the tables,
    /// shared CMS inks. The copy holds its own initialisation of the CMS library.
    TColorConverter(const TColorConverter& other);
    TColorConverter& operator=(const TColorConverter&) = delete;

    /// Converts the document: Init, the image pass, the paint pass, End.
    /// Exceptions thrown by Init reach the caller (End is then not called).
    void Convert();
    /// Prepares the document through the host resolver before conversion.
    void Resolve();
    /// Whether the last Convert() got past Init and ran its passes. False
    /// before the first Convert(), after an Init that declined (returned
    /// non-zero: the document is then unchanged, often without a message) or
    /// threw, and while a Convert() is running.
    bool ConversionRan() const;

    /// Number of threads that convert image rows in Convert(): the calling
    /// thread and `count` - 1 helper threads started for the image pass. A
    /// count below 1 means 1, the default: everything then runs on the calling
    /// thread, one row at a time. With more, each image is converted in bands
    /// of rows (at most 16 rows per thread and about 4 MiB of source and
    /// target rows, never fewer rows than threads): while the helpers convert
    /// the rows of one band, the calling thread writes the band before and
    /// reads the band after it, and then joins in; the host's image is read
    /// and written on the calling thread only, in row order. Images, paints,
    /// messages and the document come out
    /// exactly as with one thread. At most 256 threads are used. Set it before
    /// Convert().
    void SetThreadCount(int count);
    /// The thread count set (1 unless SetThreadCount asked for more).
    int GetThreadCount() const;

protected:
    /// Binds the document and the options (kept by reference: the caller keeps
    /// them alive) and initialises the CMS library. Tables start empty.
    TColorConverter(document_object_t* document, TGeneralColorConverterOptions& options);

    /// Registers an ink to convert; the call order is the input channel order.
    /// Its CMS ink (possibly empty) and opacity are derived from the document ink.
    void AddInputInk(inkt_t* ink);
    /// Registers an ink whose amounts paints keep unchanged.
    void AddExceptionInk(inkt_t* ink);
    /// Registers an ink whose image planes are copied unchanged.
    void AddImageExceptionInk(inkt_t* ink);
    /// Sets the `count` output channels, named by `names`, and merges a document
    /// ink for every channel not in `skipped` into the document's ink database.
    /// Channels in `skipped` are computed by the transform but never written back.
    void AddOutputInks(int count, const std::vector<TCMS::InkInfo>& names,
                       const std::set<int>& skipped);

    /// Position of `ink` among the input inks (first match by handle), or -1.
    int getSrcIndex(inkt_t* ink) const;

    int GetNrInputInks() const;
    /// Output channels including dropped ones (true), or written-back inks (false).
    int GetNrOutputInks(bool allChannels) const;
    /// A copy of the CMS inks of the input inks, in input order.
    std::vector<std::shared_ptr<TInk>> GetInputInks() const;
    /// The opacities of the input inks (1.0 opaque, 0.0 otherwise), in input
    /// order; valid until the tables change. Null when there is no input ink.
    double* GetInputOpacity();
    void SetMakeAllImagesInternal(bool makeAllInternal);
    const TGeneralColorConverterOptions& GetGeneralOptions() const;
    /// Which thread of the image pass runs the current pixel Convert: 0 for
    /// the thread that called Convert() (every paint, and every row with one
    /// thread), 1 .. GetThreadCount() - 1 for the helpers. Concrete converters
    /// index their per-thread scratch buffers with it.
    static int GetImageWorker();

private:
    /// Test-only window onto the private tables and helpers.
    friend class TColorConverterInspector;

    int getExceptionIndex(inkt_t* ink);
    int getImageExceptionIndex(inkt_t* ink);
    /// True when at least four input inks are process inks (counted once per object).
    bool HasAllCMYK();
    /// Debug listing of the ink tables through Tprintf.
    void Dump();

    /// The CMS ink for a document ink (empty when the CMS library has none);
    /// always stores the ink's opacity in `*opacity`.
    std::shared_ptr<TInk> MakeCMSInk(inkt_t* ink, double* opacity);

    // Document pass, paints and images.
    void CreatePaintListForConversion(gen_list_type* list);
    void ConvertPaint(paint_t* paint);
    static void ConvertCTO_CB(void* object, obj_apply_data_t converter);
    void ConvertCTO(void* object);
    void ConvertCTDef(ct_def_t* definition);
    bool ImageRequiresConversion(int nrInks, inkt_t** inks) const;

    document_object_t* document;
    TGeneralColorConverterOptions& generalOptions;
    bool makeAllImagesInternal;
    int nrExceptionInks;
    std::vector<inkt_t*> exceptionInks;
    int nrImageExceptionInks;
    std::vector<inkt_t*> imageExceptionInks;
    int nrInputInks;
    std::vector<inkt_t*> inputInks;
    std::vector<std::shared_ptr<TInk>> inputCMSInks;
    std::vector<double> inputOpacity;
    int nrOutputInks;
    std::vector<inkt_t*> outputInks;
    int nrOutputChannels;
    int nrProcessInks;
    std::set<int> skippedOutputChannels;
    bool lastConversionRan = false;
    int threadCount = 1;
    /// The image pass's threads, while a pass with more than one runs.
    std::unique_ptr<WorkerPool> imageWorkers;
};
