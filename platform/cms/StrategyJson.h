// A Color Strategy as JSON: the format of strategies/<name>.json, and of the
// text that TCMS_ColTransfImportFromStream reads (see README.md).
#pragma once

#include <string>

#include "platform/cms/JsonReader.h"
#include "platform/cms/StrategyDef.h"

class TCMSLibrary;

namespace rdz::cms {

/// Reads a strategy, resolving its processes in `lib`. Throws json::JsonFault
/// naming the field at fault. A missing "type" is an error when
/// `typeRequired`, else the strategy gets `fallbackType`.
StrategyDef ReadStrategy(const json::Json& value, const TCMSLibrary& lib, const std::string& name,
                         bool typeRequired, int fallbackType);

/// The strategy in the same format; ReadStrategy of the result gives it back.
json::Json WriteStrategy(const StrategyDef& def);

}  // namespace rdz::cms
