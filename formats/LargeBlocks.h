// How the program allocates large blocks (image planes): see LargeBlocks.cpp.
#pragma once

#include <cstddef>

namespace rdz::formats {

/// Says that a block of about `bytes` will be asked for after the work at
/// hand (the converted image while the input is still being read). A block
/// of that size is mapped and its pages made ready by a helper thread in the
/// meantime; the next large allocation of between half of it and all of it
/// takes it. A new call replaces a block nothing took. Does nothing for small
/// sizes, and in sanitizer builds.
void PrepareLargeBlock(std::size_t bytes);

/// Gives a prepared block that nothing took back to the system.
void ReleasePreparedBlock();

}  // namespace rdz::formats
