// Construction, the ink tables and the debug listing of the converter base.
#include "converter/TColorConverter.h"

#include <algorithm>

#include "converter/WorkerPool.h"
#include "host/LWKeltBase.h"
#include "host/REUSE.h"
#include "host/ZQAssert.h"

namespace {

int FirstIndexOf(const std::vector<inkt_t*>& table, const inkt_t* ink) {
    auto it = std::find(table.begin(), table.end(), ink);
    return it == table.end() ? -1 : static_cast<int>(it - table.begin());
}

const char* BookNameOf(const inkt_t* ink) {
    if (ink->book == nullptr) {
        return "";
    }
    const char* name = IDB_get_inkbook_name(ink->book);
    return name != nullptr ? name : "";
}

/// The ink of TheDoc's database whose new output ink `ink` should copy its
/// printing properties from: the ink of the same book and name (ignoring
/// case), else the first process ink, else the first ink; null for an empty
/// database.
inkt_t* FindModelInk(const inkt_t* ink) {
    inkt_t* first = nullptr;
    inkt_t* firstProcess = nullptr;
    const char* book = BookNameOf(ink);
    list_iterator_t it;
    IDB_all_inks(&it);
    void* item = nullptr;
    while (SOL_next_item(&it, &item)) {
        auto* candidate = static_cast<inkt_t*>(item);
        if (first == nullptr) {
            first = candidate;
        }
        if (firstProcess == nullptr && INK_is_process(candidate, nullptr) != 0) {
            firstProcess = candidate;
        }
        if (strcmp_ci(BookNameOf(candidate), book) == 0 &&
            strcmp_ci(candidate->name, ink->name) == 0) {
            return candidate;
        }
    }
    return firstProcess != nullptr ? firstProcess : first;
}

}  // namespace

TColorConverter::TColorConverter(document_object_t* doc, TGeneralColorConverterOptions& options)
    : document(doc),
      generalOptions(options),
      makeAllImagesInternal(true),
      nrExceptionInks(0),
      nrImageExceptionInks(0),
      nrInputInks(0),
      nrOutputInks(0),
      nrOutputChannels(0),
      nrProcessInks(-1) {
    TCMS_Init();
}

TColorConverter::TColorConverter(const TColorConverter& other)
    : document(other.document),
      generalOptions(other.generalOptions),
      makeAllImagesInternal(other.makeAllImagesInternal),
      nrExceptionInks(other.nrExceptionInks),
      exceptionInks(other.exceptionInks),
      nrImageExceptionInks(other.nrImageExceptionInks),
      imageExceptionInks(other.imageExceptionInks),
      nrInputInks(other.nrInputInks),
      inputInks(other.inputInks),
      inputCMSInks(other.inputCMSInks),
      inputOpacity(other.inputOpacity),
      nrOutputInks(other.nrOutputInks),
      outputInks(other.outputInks),
      nrOutputChannels(other.nrOutputChannels),
      nrProcessInks(other.nrProcessInks),
      skippedOutputChannels(other.skippedOutputChannels),
      lastConversionRan(other.lastConversionRan),
      threadCount(other.threadCount) {
    TCMS_Init();
}

TColorConverter::~TColorConverter() {
    imageWorkers.reset();
    TCMS_End();
}

void TColorConverter::SetThreadCount(int count) { threadCount = count < 1 ? 1 : count; }

int TColorConverter::GetThreadCount() const { return threadCount; }

int TColorConverter::GetImageWorker() { return WorkerPool::CurrentWorker(); }

int TColorConverter::Init() {
    // Empty the sequences as well as the counts: an Init that threw halfway
    // through a previous run may have left entries behind, and every count
    // must equal the length of its sequence.
    nrExceptionInks = 0;
    exceptionInks.clear();
    nrImageExceptionInks = 0;
    imageExceptionInks.clear();
    nrInputInks = 0;
    inputInks.clear();
    inputCMSInks.clear();
    inputOpacity.clear();
    nrOutputInks = 0;
    outputInks.clear();
    return 0;
}

void TColorConverter::End() {
    // The counts follow their sequences, so that nothing read between End and
    // the next Init can index an emptied table. The channel layout survives.
    nrExceptionInks = 0;
    nrImageExceptionInks = 0;
    nrInputInks = 0;
    nrOutputInks = 0;
    exceptionInks.clear();
    imageExceptionInks.clear();
    inputOpacity.clear();
    inputInks.clear();
    inputCMSInks.clear();
    outputInks.clear();
}

bool TColorConverter::DoImageRequiresConversion(int /*nrInks*/, inkt_t** /*inks*/) const {
    return true;
}

bool TColorConverter::KeepZeroPercentInks() const { return false; }

void TColorConverter::AddInputInk(inkt_t* ink) {
    inputInks.push_back(ink);
    inputOpacity.push_back(0.0);
    inputCMSInks.push_back(MakeCMSInk(ink, &inputOpacity.back()));
    ++nrInputInks;
}

void TColorConverter::AddExceptionInk(inkt_t* ink) {
    exceptionInks.push_back(ink);
    ++nrExceptionInks;
}

void TColorConverter::AddImageExceptionInk(inkt_t* ink) {
    imageExceptionInks.push_back(ink);
    ++nrImageExceptionInks;
}

void TColorConverter::AddOutputInks(int count, const std::vector<TCMS::InkInfo>& names,
                                    const std::set<int>& skipped) {
    nrOutputChannels = count;
    nrOutputInks = 0;
    if (&skipped != &skippedOutputChannels) {
        skippedOutputChannels = skipped;
    }
    outputInks.clear();
    for (int i = 0; i < count; ++i) {
        if (skippedOutputChannels.count(i) != 0) {
            continue;
        }
        if (i >= static_cast<int>(names.size())) {
            // A channel without a name can get no document ink: drop it, so
            // that the channel and ink tables stay consistent.
            ZQ_AssertForExport(false);
            skippedOutputChannels.insert(i);
            continue;
        }
        const TCMS::InkInfo& info = names[static_cast<size_t>(i)];
        inkt_t* ink = INK_create(IDB_get_inkbook(info.GetBookNamePtr()), info.GetInkNamePtr());
        if (const inkt_t* model = FindModelInk(ink)) {
            if (model->printingmethod != nullptr && model->printingmethod[0] != '\0') {
                INK_set_printingmethod(ink, model->printingmethod);
            }
            ink->inheritedValue = model->inheritedValue;
            INK_set_attribute(ink, model->attribute);
        }
        outputInks.push_back(IDB_merge_ink(&ink));
        ++nrOutputInks;
    }
}

int TColorConverter::getSrcIndex(inkt_t* ink) const { return FirstIndexOf(inputInks, ink); }
int TColorConverter::getExceptionIndex(inkt_t* ink) { return FirstIndexOf(exceptionInks, ink); }
int TColorConverter::getImageExceptionIndex(inkt_t* ink) {
    return FirstIndexOf(imageExceptionInks, ink);
}

int TColorConverter::GetNrInputInks() const { return nrInputInks; }

int TColorConverter::GetNrOutputInks(bool allChannels) const {
    return allChannels ? nrOutputChannels : nrOutputInks;
}

std::vector<std::shared_ptr<TInk>> TColorConverter::GetInputInks() const { return inputCMSInks; }

double* TColorConverter::GetInputOpacity() {
    return inputOpacity.empty() ? nullptr : inputOpacity.data();
}

void TColorConverter::SetMakeAllImagesInternal(bool makeAllInternal) {
    makeAllImagesInternal = makeAllInternal;
}

const TGeneralColorConverterOptions& TColorConverter::GetGeneralOptions() const {
    return generalOptions;
}

bool TColorConverter::HasAllCMYK() {
    if (nrProcessInks < 0) {
        nrProcessInks = static_cast<int>(std::count_if(
            inputInks.begin(), inputInks.end(),
            [](const inkt_t* ink) { return INK_is_process(ink, nullptr) != 0; }));
    }
    return nrProcessInks >= 4;
}

void TColorConverter::Dump() {
    Tprintf("==== COLORCONVERSION : EXCEPTION ====\n");
    for (const inkt_t* ink : exceptionInks) {
        INK_print(ink);
    }
    Tprintf("==== COLORCONVERSION : IMAGE EXCEPTION ====\n");
    for (const inkt_t* ink : imageExceptionInks) {
        INK_print(ink);
    }
    Tprintf("==== COLORCONVERSION : INPUT ====\n");
    for (const inkt_t* ink : inputInks) {
        INK_print(ink);
    }
    Tprintf("==== COLORCONVERSION : OUTPUT ====\n");
    for (int i = 0; i < nrOutputInks; ++i) {
        INK_print(outputInks[static_cast<size_t>(i)]);
    }
}
