#pragma once

#include "Snapshots/Snapshot.h"

#include <QDateTime>

namespace zen::test {

// A fixed date in whole seconds (so it survives a write and a read unchanged).
QDateTime fixedDate(int dayOffset = 0, int secondOffset = 0);

DisplayRecord makeDisplay(std::uint32_t id, CGRect frame, bool primary = false);

// A window with every field filled, on the given display (or none).
WindowRecord makeWindow(const QString& bundleIdentifier,
                        std::optional<std::uint32_t> displayID = std::nullopt,
                        std::optional<std::int64_t> zOrderHint = std::nullopt);

// A layout of the given windows over one 1440x900 display with id 1.
Snapshot makeSnapshot(const QString& name, std::vector<WindowRecord> windows = {makeWindow("org.example.Editor", 1, 1)});

} // namespace zen::test
