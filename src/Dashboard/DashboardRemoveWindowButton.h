#pragma once

#include <QToolButton>

#include <functional>

namespace zen {

// Asks the dashboard to remove one saved window; it removes nothing itself (the dashboard
// confirms first).
class DashboardRemoveWindowButton : public QToolButton {
    Q_OBJECT
public:
    explicit DashboardRemoveWindowButton(std::function<void()> removeWindow, QWidget* parent = nullptr);

    static QString title();
};

} // namespace zen
