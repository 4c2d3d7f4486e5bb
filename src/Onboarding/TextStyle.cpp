#include "Onboarding/TextStyle.h"

#include <QApplication>
#include <QLabel>
#include <QProxyStyle>
#include <QPushButton>
#include <QStyleFactory>
#include <QWidget>

#include <algorithm>
#include <cmath>

namespace zen::TextStyle {

namespace {

// Sizes relative to the body text, in the proportions of a common desktop type scale
// (body 13, title-2 17, large title 26 ...).
double scale(Role role)
{
    switch (role) {
    case Role::largeTitle:
        return 26.0 / 13.0;
    case Role::title2:
        return 17.0 / 13.0;
    case Role::title3:
        return 15.0 / 13.0;
    case Role::headline:
    case Role::body:
        return 1.0;
    case Role::callout:
        return 12.0 / 13.0;
    case Role::subheadline:
        return 11.0 / 13.0 + 0.02;
    case Role::caption:
        return 10.0 / 13.0 + 0.03;
    }
    return 1.0;
}

} // namespace

QFont font(Role role, const QFont& base, QFont::Weight weight)
{
    QFont result = base;
    if (base.pointSizeF() > 0)
        result.setPointSizeF(base.pointSizeF() * scale(role));
    else if (base.pixelSize() > 0)
        result.setPixelSize(std::max(1, int(base.pixelSize() * scale(role) + 0.5)));
    result.setWeight(role == Role::headline && weight == QFont::Normal ? QFont::DemiBold : weight);
    return result;
}

void apply(QWidget* widget, Role role, QFont::Weight weight)
{
    widget->setFont(font(role, QApplication::font(), weight));
}

QLabel* plainLabel(const QString& text, QWidget* parent, bool wordWrap)
{
    auto* label = new QLabel(text, parent);
    label->setTextFormat(Qt::PlainText);
    label->setWordWrap(wordWrap);
    return label;
}

QColor color(const QPalette& palette, Emphasis emphasis)
{
    const QColor text = palette.color(QPalette::WindowText);
    double weight = 1.0;
    switch (emphasis) {
    case Emphasis::primary:
        return text;
    case Emphasis::secondary:
        weight = 0.68;
        break;
    case Emphasis::tertiary:
        weight = 0.45;
        break;
    }
    // Faded by mixing, not by transparency, so what is drawn is known; then darkened (or
    // lightened) towards the text colour until it reads on every background the windows use:
    // the window, a text field or card, and a card set into the page.
    const QColor window = palette.color(QPalette::Window);
    QColor faded = mixed(text, window, weight);
    for (const QColor& background : {window, palette.color(QPalette::Base), underPage(window)})
        faded = readableOn(faded, background, text);
    return faded;
}

QColor mixed(const QColor& a, const QColor& b, double weightOfA)
{
    const double w = std::clamp(weightOfA, 0.0, 1.0);
    return QColor::fromRgbF(float(a.redF() * w + b.redF() * (1 - w)), float(a.greenF() * w + b.greenF() * (1 - w)),
                            float(a.blueF() * w + b.blueF() * (1 - w)));
}

QColor underPage(const QColor& window)
{
    return window.lightness() > 128 ? window.darker(108) : window.lighter(125);
}

QColor readableOn(const QColor& colour, const QColor& background, const QColor& towards)
{
    // A little above the 4.5:1 of readable text, so antialiased edges do not pull it under.
    constexpr double wanted = 4.7;
    if (contrastRatio(colour, background) >= wanted)
        return colour;
    const QColor extreme = contrastRatio(towards, background) >= wanted
        ? towards
        : (background.lightness() > 128 ? QColor(Qt::black) : QColor(Qt::white));
    // Ten steps of a tenth: the last one is the extreme itself.
    for (int step = 1; step <= 10; ++step) {
        const QColor candidate = mixed(extreme, colour, step / 10.0);
        if (contrastRatio(candidate, background) >= wanted)
            return candidate;
    }
    return extreme;
}

QPalette withReadableHints(QPalette palette)
{
    const QColor hint = color(palette, Emphasis::secondary);
    for (auto group : {QPalette::Active, QPalette::Inactive})
        palette.setColor(group, QPalette::PlaceholderText, hint);
    return palette;
}

namespace {

class ReadableHintsStyle final : public QProxyStyle {
public:
    using QProxyStyle::QProxyStyle;
    using QProxyStyle::polish;
    void polish(QPalette& palette) override
    {
        QProxyStyle::polish(palette);
        palette = withReadableHints(palette);
    }
};

} // namespace

void useReadableHintsEverywhere()
{
    if (!qobject_cast<QApplication*>(QCoreApplication::instance()) || dynamic_cast<ReadableHintsStyle*>(QApplication::style()))
        return;
    const QString base = QApplication::style()->name();
    QApplication::setStyle(new ReadableHintsStyle(base.isEmpty() ? nullptr : QStyleFactory::create(base)));
}

void applyColor(QWidget* widget, Emphasis emphasis)
{
    QPalette palette = widget->palette();
    const QColor c = color(QApplication::palette(), emphasis);
    palette.setColor(QPalette::WindowText, c);
    palette.setColor(QPalette::Text, c);
    palette.setColor(QPalette::ButtonText, c);
    widget->setPalette(palette);
}

namespace {

double relativeLuminance(const QColor& color)
{
    auto channel = [](double c) { return c <= 0.03928 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4); };
    return 0.2126 * channel(color.redF()) + 0.7152 * channel(color.greenF()) + 0.0722 * channel(color.blueF());
}

} // namespace

double contrastRatio(const QColor& a, const QColor& b)
{
    const double la = relativeLuminance(a);
    const double lb = relativeLuminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

ProminentColours prominentColours()
{
    const QPalette palette = QApplication::palette();
    const QColor text = palette.color(QPalette::HighlightedText);
    QColor fill = palette.color(QPalette::Highlight);
    for (int i = 0; i < 12 && contrastRatio(fill, text) < 4.5; ++i)
        fill = fill.darker(110);
    return {fill, text};
}

void applyProminent(QPushButton* button)
{
    // A palette tint alone is not enough: the Fusion style lightens and greys a button's
    // colour, which left white text on pale blue. A style sheet draws the fill as given.
    const auto [fill, text] = prominentColours();
    const QString sheet = QStringLiteral(
        "QPushButton { background-color: %1; color: %2; border: 1px solid %3; border-radius: 5px;"
        " padding: 4px 14px; }"
        "QPushButton:hover { background-color: %4; }"
        "QPushButton:pressed { background-color: %3; }"
        // The ring of the window's text colour stands out from the window around the button
        // too; one pixel less padding keeps the button's size.
        "QPushButton:focus { border: 2px solid %7; padding: 3px 13px; }"
        "QPushButton:disabled { background-color: %5; color: %6; border-color: %5; }");
    QColor faded = fill;
    faded.setAlphaF(0.45);
    QColor fadedText = text;
    fadedText.setAlphaF(0.8);
    auto css = [](const QColor& c) {
        return QStringLiteral("rgba(%1, %2, %3, %4)").arg(c.red()).arg(c.green()).arg(c.blue()).arg(c.alphaF());
    };
    button->setStyleSheet(sheet.arg(css(fill), css(text), css(fill.darker(120)), css(fill.lighter(108)), css(faded),
                                    css(fadedText), css(QApplication::palette().color(QPalette::WindowText))));
}

} // namespace zen::TextStyle
