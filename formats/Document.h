// Ownership of a document of the document database.
#pragma once

#include <cstddef>
#include <memory>

#include "host/kelt_db.h"
#include "platform/kelt/kelt_builder.h"

namespace rdz::formats {

struct DocumentDeleter {
    void operator()(document_object_t* document) const { rdz::kelt::DestroyDocument(document); }
};

/// The longest ink or book name a document may hold, in bytes: the host and
/// the CMS copy names into buffers of 256 bytes with their terminator, so a
/// longer name would reach the conversion cut short.
constexpr std::size_t kMaxInkNameBytes = 255;

/// A document destroyed (with everything it holds) when the pointer goes.
using DocumentPtr = std::unique_ptr<document_object_t, DocumentDeleter>;

}  // namespace rdz::formats
