#include "MenuBar/OperationOverlayPresenting.h"

#include <QCoreApplication>

#include <gtest/gtest.h>

namespace zen {
namespace {

TEST(OperationOverlayPresenterTest, KindMessagesEndInThreeFullStops)
{
    EXPECT_EQ(operationOverlayMessage(OperationOverlayKind::save), "Saving layout...");
    EXPECT_EQ(operationOverlayMessage(OperationOverlayKind::restore), "Restoring layout...");
}

TEST(OperationOverlayPresenterTest, NoOpPresenterReportsShownFromTheEventLoopAndAcceptsAnyOrder)
{
    NoOpOperationOverlayPresenter presenter;
    int shown = 0;
    presenter.showOverlay(OperationOverlayKind::save, [&] { ++shown; });
    EXPECT_EQ(shown, 0); // not re-entrant: the caller finishes its own step first
    QCoreApplication::processEvents();
    EXPECT_EQ(shown, 1);

    presenter.showRestoreCompletion("Restored \"Work\": 1 window restored, 0 skipped.", std::nullopt);
    presenter.showOverlay(OperationOverlayKind::restore, [&] { ++shown; });
    presenter.showOverlay(OperationOverlayKind::restore, {});
    presenter.hideOverlay();
    presenter.hideOverlay();
    QCoreApplication::processEvents();
    EXPECT_EQ(shown, 2);
}

} // namespace
} // namespace zen
