// Where ink records live. An ink's handle is the address of its record, and
// the converters order inks by handle (the zero-percent inks a converted
// paint keeps come in ascending handle order). With records from the general
// heap that order would depend on whatever else the process allocated
// before, so that a document could come out differently after another one,
// or in another program. The arena hands out addresses that only ever grow:
// handles ascend in the order the inks were created, in every process.
#pragma once

#include <cstddef>

namespace rdz::kelt {

/// The largest ink record the arena holds.
constexpr std::size_t kInkSlotBytes = 256;

/// Room for one ink record of `size` bytes (at most the arena's slot size),
/// above every record handed out before; from the general heap once the
/// arena's address range is used up, or where the platform has no arena.
void* AllocateInkRecord(std::size_t size);
/// Gives back what AllocateInkRecord returned (the record is destroyed).
/// The address is never handed out again; the memory of a block whose
/// records are all gone goes back to the system.
void ReleaseInkRecord(void* record);

/// Whether the records come from the arena in this build (ascending
/// addresses): 64-bit Linux and Windows, except under AddressSanitizer;
/// elsewhere they come from the general heap.
bool InkArenaAvailable();

}  // namespace rdz::kelt
