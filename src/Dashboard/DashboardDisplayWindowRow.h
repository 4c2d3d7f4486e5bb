#pragma once

#include "Dashboard/DashboardAppIdentity.h"
#include "Snapshots/Snapshot.h"

#include <QPixmap>
#include <QRect>
#include <QStringList>

#include <optional>

class QPainter;
class QPalette;

namespace zen {

// One saved window as a display's restore-order list paints it: drag handle, colour bar,
// icon, name with state badges, title, and the remove button. A value, not a widget: a layout
// may list thousands of windows, and the list paints only the rows in sight. The row refers to
// the window record its list keeps, and works out its texts when first painted.
class DashboardDisplayWindowRow {
public:
    DashboardDisplayWindowRow(const WindowRecord& window, DashboardAppIdentity identity);

    const WindowRecord& window() const { return *m_window; }
    const DashboardAppIdentity& identity() const { return m_identity; }
    // "Application, title", as assistive technology reads the row.
    QString accessibleName() const;

    // "Fullscreen", then "Minimized" or else "Hidden" for a window saved as not visible.
    static QStringList stateLabels(const WindowRecord& window);
    // The trimmed title, or the bundle identifier when the window has none.
    static QString displayTitle(const WindowRecord& window, const DashboardAppIdentity& identity);

    static QString moveEarlierTitle();
    static QString moveLaterTitle();
    static QString removeTitle();
    // What the row says under the pointer: how to reorder it with the mouse and the keys.
    static QString toolTip();

    static int height();
    static int minimumWidth();
    static int preferredWidth();
    static QRect removeButtonRect(const QRect& row);

    struct PaintState {
        bool focused = false;
        bool removeHovered = false;
        bool editingEnabled = true;
    };
    void paint(QPainter& painter, const QRect& row, const QPalette& palette, const QColor& background,
               PaintState state, qreal devicePixelRatio) const;

private:
    struct Texts {
        QStringList stateLabels;
        QString shownName;
        QString shownTitle;
    };
    const Texts& texts() const;

    const WindowRecord* m_window;
    DashboardAppIdentity m_identity;
    mutable std::optional<Texts> m_texts;
    // The elided title for the last width painted: rows repaint often at one width (hover,
    // focus, scrolling) and eliding shapes the whole text each time.
    mutable int m_elidedForWidth = -1;
    mutable QString m_elidedTitle;
    mutable QPixmap m_icon;
    mutable qreal m_iconDpr = 0;
};

} // namespace zen
