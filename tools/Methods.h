// The converter of each method, watched by the program.
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <set>

#include "converter/TColorConverter.h"
#include "tools/CommandLine.h"

namespace rdz::tools {

/// Whether this build holds the converter of `method`.
bool MethodAvailable(Method method);

/// What the program learns while a converter works.
struct ConversionWatch {
    /// The document inks the converter takes in (converts), known once its
    /// Init has succeeded.
    std::set<const inkt_t*> inputInks;
    bool initialised = false;
    /// Pixel transforms that failed, for paints and for image rows (image
    /// rows may be converted on several threads).
    std::atomic<int> failedPaints{0};
    std::atomic<int> failedRows{0};
    /// Called on the calling thread right after a successful Init.
    std::function<void()> afterInit;
};

/// The converter for the request's method, bound to `document` and to the
/// request's option records (which must outlive it) and reporting to
/// `watch` (likewise); null when the method is not in this build.
std::unique_ptr<TColorConverter> MakeConverter(document_object_t* document,
                                               ConversionRequest& request, ConversionWatch& watch);

}  // namespace rdz::tools
