#pragma once

namespace zen {

// Hands the heap's free pages back to the system: what a burst of work (a save, the listing,
// bounding the event log) freed would otherwise stay resident for the program's life.
void returnFreeMemoryToSystem();

} // namespace zen
