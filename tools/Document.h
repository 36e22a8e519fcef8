// Ownership of a document of the document database.
#pragma once

#include <memory>

#include "host/kelt_db.h"
#include "platform/kelt/kelt_builder.h"

namespace rdz::tools {

struct DocumentDeleter {
    void operator()(document_object_t* document) const { rdz::kelt::DestroyDocument(document); }
};

/// A document destroyed (with everything it holds) when the pointer goes.
using DocumentPtr = std::unique_ptr<document_object_t, DocumentDeleter>;

}  // namespace rdz::tools
