#pragma once

namespace zen {

// Hands the heap's free pages back to the system. Work that allocates a lot on a worker (the
// layout listing, bounding the event log) leaves them in that thread's heap otherwise, where
// they stay resident for the program's life; an idle tray program should not keep them.
void returnFreeMemoryToSystem();

} // namespace zen
