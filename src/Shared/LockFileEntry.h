#pragma once

#include <QDeadlineTimer>

#include <atomic>
#include <expected>

namespace zen {

// Opens the lock file `name` in the open folder `folder` for flock(2), creating it (mode 0600)
// when it is missing. A lock file is only ever a regular file: a link is never followed, a
// named pipe never waited on, and a link, pipe, socket, device node or empty folder found
// under the name is removed and replaced by a new file, so that nothing planted there turns
// the lock off or stops the program. The removal happens under a short flock of the folder
// itself, so that two processes replacing the same entry at once can never remove the file
// the other has just made and locked.
//
// Returns the descriptor (close-on-exec, non-blocking), or the errno why there is none: the
// folder can't be written, or a folder with contents sits under the name (ENOTEMPTY), or the
// folder's own flock was not free before `deadline` (EBUSY), or `abandoned` was set while it
// waited for it (ECANCELED).
std::expected<int, int> openLockFileEntry(int folder, const char* name, QDeadlineTimer deadline,
                                          const std::atomic<bool>* abandoned = nullptr);

// Takes an exclusive flock on `fd`, waiting until `deadline` at most (a deadline that has
// already passed tries once). Returns 0, EWOULDBLOCK when another open file holds the lock
// until the deadline, ECANCELED when `abandoned` is set while it waits, or the errno of a
// failure. The calling thread waits itself (interrupted now and then by a real-time signal of
// this module's own) and nothing is left behind when it gives up; where that signal's timer
// cannot be made (the user's pending-signal limit used up), it tries every few milliseconds.
int lockExclusivelyBefore(int fd, QDeadlineTimer deadline, const std::atomic<bool>* abandoned = nullptr);

} // namespace zen
