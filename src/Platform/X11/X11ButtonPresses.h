#pragma once

#include <QAbstractNativeEventFilter>
#include <QPoint>

#include <cstdint>
#include <functional>
#include <optional>

namespace zen {

// Presses of the pointer's left and right buttons on the program's windows, as the X server
// sends them to the toolkit's connection (core events, or the X Input extension's where the
// toolkit asked for those). The toolkit drops a press on a window that a modal window of the
// program blocks before any widget hears of it (the tray icon's, while a name prompt waits for
// its answer); here it is heard all the same. Main thread; it listens while it lives.
class X11ButtonPresses final : public QAbstractNativeEventFilter {
public:
    // `take` gets the place of each press on the root window, in the toolkit's coordinates (one
    // X screen, scale 1); true keeps the press from the toolkit.
    explicit X11ButtonPresses(std::function<bool(QPoint)> take);
    ~X11ButtonPresses() override;

    X11ButtonPresses(const X11ButtonPresses&) = delete;
    X11ButtonPresses& operator=(const X11ButtonPresses&) = delete;

    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr* result) override;

private:
    std::function<bool(QPoint)> m_take;
    std::optional<std::uint8_t> m_inputExtension;
    struct Press {
        std::uint32_t time = 0;
        std::uint32_t button = 0;
        bool taken = false;
    };
    std::optional<Press> m_last;
};

} // namespace zen
