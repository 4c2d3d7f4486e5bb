#pragma once

namespace zen {

// Hands the heap's free pages back to the system. Work that allocates a lot on a worker (the
// layout listing, bounding the event log) leaves them in that thread's heap otherwise, where
// they stay resident for the program's life; an idle tray program should not keep them.
void returnFreeMemoryToSystem();

// Unmaps the program's own code and constant data from this process. The kernel maps pages
// around each one start-up runs (some 64 kB at a time), so most of a large program stays
// resident though an idle tray program runs little of it; the pages stay in the page cache,
// and what runs later is mapped again from there. Segments that are ever written (data,
// relocated tables) are left alone.
void unmapProgramCodeNotInUse();

} // namespace zen
