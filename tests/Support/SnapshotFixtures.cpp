#include "Support/SnapshotFixtures.h"

namespace zen::test {

QDateTime fixedDate(int dayOffset, int secondOffset)
{
    return QDateTime(QDate(2024, 3, 10), QTime(9, 30, 0), Qt::UTC).addDays(dayOffset).addSecs(secondOffset);
}

DisplayRecord makeDisplay(std::uint32_t id, CGRect frame, bool primary)
{
    DisplayRecord d;
    d.id = id;
    d.localizedName = QStringLiteral("Display %1").arg(id);
    d.frame = CGRectCodable(frame);
    d.visibleFrame = CGRectCodable(frame.origin.x, frame.origin.y + 25, frame.size.width, frame.size.height - 25);
    d.isPrimary = primary;
    return d;
}

WindowRecord makeWindow(const QString& bundleIdentifier, std::optional<std::uint32_t> displayID,
                        std::optional<std::int64_t> zOrderHint)
{
    WindowRecord w;
    w.bundleIdentifier = bundleIdentifier;
    w.pidAtCapture = 4242;
    w.windowTitle = QStringLiteral("Untitled");
    w.role = QStringLiteral("AXWindow");
    w.subrole = QStringLiteral("AXStandardWindow");
    w.frame = CGRectCodable(100, 120, 800, 600);
    w.displayID = displayID;
    w.normalizedFrame = NormalizedRect::fromFrames(w.frame.cgRect(), CGRect(0, 0, 1440, 900));
    w.zOrderHint = zOrderHint;
    w.captureSignature = WindowSignature{bundleIdentifier, 4242, w.windowTitle, w.role, w.subrole, w.frame, 77};
    return w;
}

Snapshot makeSnapshot(const QString& name, std::vector<WindowRecord> windows)
{
    Snapshot s;
    s.name = name;
    s.createdAt = fixedDate();
    s.updatedAt = fixedDate();
    s.sourceDisplayState = DisplayState::make({makeDisplay(1, CGRect(0, 0, 1440, 900), true)}, 1);
    s.windows = std::move(windows);
    return s;
}

} // namespace zen::test
