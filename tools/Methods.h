// The converter of each method.
#pragma once

#include <memory>

#include "converter/TColorConverter.h"
#include "tools/CommandLine.h"

namespace rdz::tools {

/// Whether this build holds the converter of `method`.
bool MethodAvailable(Method method);

/// The converter for the request's method, bound to `document` and to the
/// request's option records (which must outlive it); null when the method is
/// not available in this build.
std::unique_ptr<TColorConverter> MakeConverter(document_object_t* document,
                                               ConversionRequest& request);

}  // namespace rdz::tools
