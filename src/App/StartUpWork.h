#pragma once

#include <functional>
#include <vector>

namespace zen {

// Start-up work that can wait (listing the layouts, the event log's upkeep, the sweep of stale
// temporary files): held until the tray icon has had its time to appear, or until the user
// reaches for something that needs it, then run once, in the order it was added. Its cost
// grows with the files on disk, and nothing of it belongs on the way to the icon. Main thread
// only.
class StartUpWork {
public:
    // Runs the task at once when the work was already released.
    void add(std::function<void()> task);
    // Runs what waits; tasks added later run at once. Releasing again does nothing.
    void release();

private:
    std::vector<std::function<void()>> m_waiting;
    bool m_released = false;
};

// Runs the work on a thread of its own, at idle priority: it only ever uses what the desktop
// leaves unused, and the thread goes soon after it is done.
void runInIdleTime(std::function<void()> work);

} // namespace zen
