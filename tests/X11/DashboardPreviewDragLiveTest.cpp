#include "Dashboard/DashboardDisplayWindowList.h"
#include "Dashboard/DashboardDisplayWindowRow.h"

#include "Dashboard/DashboardPreviewTestSupport.h"
#include "Support/LiveDesktop.h"
#include "Support/SnapshotFixtures.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QPointer>
#include <QTimer>
#include <QWindow>


#include <gtest/gtest.h>

namespace zen {
namespace {

// A real drag through the X server: the drop runs inside the toolkit's drag loop, and the
// reorder it stores reloads the list there, replacing the very row being dragged.
TEST(DashboardPreviewDragLiveTest, DraggingARowOntoAnotherStoresOneReorder)
{
    DashboardAppIdentityResolver resolver = test::makeTableResolver({{"org.a", "Alpha"}});
    std::vector<WindowRecord> windows;
    for (int i = 0; i < 4; ++i) {
        WindowRecord w = test::makeWindow("org.a", 5, i + 1);
        w.windowTitle = QStringLiteral("W%1").arg(i + 1);
        windows.push_back(w);
    }
    std::vector<std::vector<QUuid>> calls;
    std::unique_ptr<DashboardDisplayWindowList> list;
    list = std::make_unique<DashboardDisplayWindowList>(
        5, windows, resolver, [](const WindowRecord&) {},
        [&](std::uint32_t, const std::vector<QUuid>& ids) {
            calls.push_back(ids);
            // What the dashboard does after a stored reorder: reload the layout.
            std::vector<WindowRecord> reloaded;
            for (std::size_t i = 0; i < ids.size(); ++i) {
                for (const WindowRecord& w : windows) {
                    if (w.id == ids[i])
                        reloaded.push_back(w.withZOrderHint(std::int64_t(i)));
                }
            }
            list->setWindows(reloaded);
            return true;
        });
    list->setWindowTitle(QStringLiteral("Restore order"));
    list->resize(360, list->sizeHint().height() + 20);
    list->show();
    QElapsedTimer timer;
    timer.start();
    while (!(list->windowHandle() && list->windowHandle()->isExposed()) && timer.elapsed() < 3000)
        QApplication::processEvents(QEventLoop::AllEvents, 10);
    ASSERT_TRUE(list->windowHandle()->isExposed());
    // Let the window manager settle the frame, so the mapped positions hold.
    for (int i = 0; i < 20; ++i)
        QApplication::processEvents(QEventLoop::AllEvents, 10);

    const QPoint from = list->mapToGlobal(QPoint(60, list->rowRect(0).center().y()));
    const QPoint to = list->mapToGlobal(QPoint(60, list->rowRect(2).center().y()));

    testsupport::XSession injector;
    ASSERT_TRUE(injector.isOpen());
    const auto moveTo = [&](QPoint p) { injector.movePointer(p); };
    const auto button = [&](std::uint8_t type) { injector.button(type); };

    // The rest of the gesture comes from timers, which also fire inside the drag's own loop.
    int step = 0;
    QTimer gesture;
    gesture.setInterval(60);
    QObject::connect(&gesture, &QTimer::timeout, [&] {
        switch (step++) {
        case 0: moveTo(from); break;
        case 1: button(XCB_BUTTON_PRESS); break;
        case 2: moveTo(from + QPoint(0, 4)); break;
        case 3: moveTo(from + QPoint(0, 12)); break;
        case 4: moveTo(to - QPoint(0, 2)); break;
        case 5: moveTo(to); break;
        case 6: moveTo(to + QPoint(1, 0)); break;
        case 7: button(XCB_BUTTON_RELEASE); break;
        default: gesture.stop(); break;
        }
    });
    gesture.start();
    timer.restart();
    while ((gesture.isActive() || calls.empty()) && timer.elapsed() < 8000)
        QApplication::processEvents(QEventLoop::AllEvents, 10);

    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0], (std::vector<QUuid> {windows[1].id, windows[2].id, windows[0].id, windows[3].id}));
    QStringList shown;
    for (const DashboardDisplayWindowRow& row : list->rows())
        shown << *row.window().windowTitle;
    EXPECT_EQ(shown, (QStringList {"W2", "W3", "W1", "W4"}));
    // The drop leaves no landing line and no focus frame behind.
    EXPECT_FALSE(list->dropLandingIndex().has_value());
    EXPECT_FALSE(list->showsFocusFrame());
}

} // namespace
} // namespace zen
