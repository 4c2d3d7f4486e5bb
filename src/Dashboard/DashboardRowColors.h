#pragma once

#include <QColor>

namespace zen {

// Text colours of the dashboard's list rows, measured against what is actually behind them:
// a faded caption that reads on the window background may not read on a selected row.
class DashboardRowColors {
public:
    DashboardRowColors() = delete;

    // The least a person with average eyesight needs for body text.
    static constexpr double minimumContrast = 4.5;

    // WCAG contrast ratio of two opaque colours (alpha is ignored), 1 to 21.
    static double contrast(const QColor& a, const QColor& b);
    // `text` faded towards `background` as the caption style asks, but never below the
    // minimum contrast: the returned colour is opaque.
    static QColor secondary(const QColor& text, const QColor& background);
    // `background` darkened (under light text) or lightened (under dark text) just enough for
    // `text` to reach the minimum: a theme's selection colour may be too light for its own
    // selected text.
    static QColor readableBackground(const QColor& text, const QColor& background);
};

} // namespace zen
