#pragma once

#include <QFont>
#include <QPalette>

class QLabel;
class QPushButton;
class QWidget;

namespace zen {

// The type scale of our windows, derived from the desktop's own font so the user's size
// setting carries through: a title two steps up is larger on a desktop set to large text.
namespace TextStyle {

enum class Role { largeTitle, title2, title3, headline, body, callout, subheadline, caption };

QFont font(Role role, const QFont& base, QFont::Weight weight = QFont::Normal);
// Sets the widget's font to the role, from the application font.
void apply(QWidget* widget, Role role, QFont::Weight weight = QFont::Normal);
// A label that shows `text` as typed, never as markup (names and messages come from files).
QLabel* plainLabel(const QString& text, QWidget* parent = nullptr, bool wordWrap = false);

// Secondary and tertiary texts are the palette's text colour, faded, but never below the
// 4.5:1 contrast of readable text on the window, a card or a field.
enum class Emphasis { primary, secondary, tertiary };
QColor color(const QPalette& palette, Emphasis emphasis);
// `a` mixed into `b`: 1 is `a` alone. Opaque.
QColor mixed(const QColor& a, const QColor& b, double weightOfA);
// The background of a card set into the page of a window of that colour.
QColor underPage(const QColor& window);
// The colour moved towards `towards` (else black or white) until it reads on the background.
QColor readableOn(const QColor& colour, const QColor& background, const QColor& towards);
// The palette with its hint (placeholder) colour made readable.
QPalette withReadableHints(QPalette palette);
// Makes the application's widget style hand out palettes with readable hints. Set where the
// style polishes the palette, so every window keeps sharing the application's palette (and
// the style's cached pictures of buttons and frames) instead of carrying one of its own.
void useReadableHintsEverywhere();
void applyColor(QWidget* widget, Emphasis emphasis);

// The one prominent button of a page: filled with the accent colour, darkened where needed
// so that its text stays readable (at least 4.5:1 against the fill).
void applyProminent(QPushButton* button);
// The prominent button's fill (the accent, darkened until its text reads) and text colours.
struct ProminentColours {
    QColor fill;
    QColor text;
};
ProminentColours prominentColours();
// The contrast ratio of two colours, 1 (same) to 21 (black on white).
double contrastRatio(const QColor& a, const QColor& b);

} // namespace TextStyle
} // namespace zen
