// Reading a CMS database folder (layout and formats in README.md).
#pragma once

#include <memory>
#include <string>
#include <vector>

class TCMSLibrary;

namespace rdz::cms {

/// Reads the database in `folder`; an empty folder name gives the empty
/// database. Every faulty file is left out with one text in `errors`
/// ("<file relative to the folder>: <fault>"); the rest still loads. Never
/// returns null.
std::shared_ptr<TCMSLibrary> LoadDatabase(const std::string& folder,
                                          std::vector<std::string>* errors);

}  // namespace rdz::cms
