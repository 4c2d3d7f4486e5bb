#pragma once

#include <QColor>
#include <QFont>
#include <QIcon>
#include <QPixmap>
#include <QPalette>
#include <QRectF>

#include "Onboarding/TextStyle.h"

class QLabel;
class QPainter;
class QWidget;

namespace zen {

// The text styles and fills of the dashboard's preview and cards, in Qt terms: type sizes are
// steps around the application font, colours come from the palette so dark themes work.
class DashboardPreviewStyle {
public:
    DashboardPreviewStyle() = delete;

    enum class TextStyle { headline, subheadline, footnote, caption, caption2 };

    static QFont font(TextStyle style, QFont::Weight weight = QFont::Normal);

    static QColor primary(const QPalette& palette);
    static QColor secondary(const QPalette& palette);
    static QColor tertiary(const QPalette& palette);
    // The faint fill behind badges.
    static QColor quaternaryFill(const QPalette& palette);
    static QColor windowBackground(const QPalette& palette);
    static QColor textBackground(const QPalette& palette);
    // A shade below the window background, for cards inside a section.
    static QColor underPageBackground(const QPalette& palette);

    // Line breaks and tabs as spaces: a title or name from another program shown on one line.
    static QString singleLine(const QString& text);

    // A plain-text label: texts shown here come from other programs and files.
    static QLabel* label(const QString& text, TextStyle style, QFont::Weight weight = QFont::Normal,
                         bool secondaryColor = false, QWidget* parent = nullptr);
    // A capsule badge ("Primary", "Not Running", "Minimized").
    static QLabel* badge(const QString& text, TextStyle style, int horizontalPadding, int verticalPadding,
                         QWidget* parent = nullptr);

    // The icon at the given side, clipped to a rounded square.
    static QPixmap roundedIcon(const QIcon& icon, int side, double radius, qreal devicePixelRatio);

    // A filled rounded rectangle, antialiased.
    static void fillRounded(QPainter& painter, const QRectF& rect, double radius, const QColor& fill);
};

// A label that shows its text as typed, never as markup, in the font it inherits.
using TextStyle::plainLabel;

} // namespace zen
