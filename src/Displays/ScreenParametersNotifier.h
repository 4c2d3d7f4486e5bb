#pragma once

#include <QObject>

class QScreen;

namespace zen {

// Says that the monitors changed: one added or removed, the primary one changed, or one's
// position, size, usable area or resolution changed. Several signals may come for one change.
class ScreenParametersNotifier : public QObject {
    Q_OBJECT
public:
    // Emits only through post(); tests drive it by hand.
    explicit ScreenParametersNotifier(QObject* parent = nullptr);

    // Follows the application's screens (QGuiApplication and every QScreen, present and
    // future). Needs a QGuiApplication.
    static ScreenParametersNotifier* forApplication(QObject* parent = nullptr);

    void post() { Q_EMIT screenParametersChanged(); }

Q_SIGNALS:
    void screenParametersChanged();

private:
    void followScreen(QScreen* screen);
};

} // namespace zen
