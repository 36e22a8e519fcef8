// Sending the library's own messages (see StandIn.h for the sink).
#pragma once

#include <string>

#include "platform/cms/StandIn.h"

namespace rdz::cms {

/// Hands `text`, as one escaped line, to the message sink. Thread-safe.
void Say(MessageLevel level, const std::string& text);

}  // namespace rdz::cms
