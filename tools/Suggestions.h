// Naming what a CMS database holds when a name is not among it.
#pragma once

#include <string>
#include <vector>

namespace rdz::tools {

/// `names` ordered by how close each is to `wanted` (edit distance ignoring
/// letter case, then the name itself).
std::vector<std::string> ClosestFirst(const std::string& wanted, std::vector<std::string> names);

/// "it has: A, B, C" with the names closest to `wanted` first (at most
/// `limit`, then "and N more"); "it has none" for an empty list.
std::string WhatItHas(const std::string& wanted, const std::vector<std::string>& names,
                      std::size_t limit = 12);

}  // namespace rdz::tools
