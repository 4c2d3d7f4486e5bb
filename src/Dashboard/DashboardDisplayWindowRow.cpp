#include "Dashboard/DashboardDisplayWindowRow.h"

#include "Dashboard/DashboardPreviewStyle.h"
#include "Dashboard/DashboardRowColors.h"
#include "Dashboard/DashboardSymbols.h"
#include "Shared/StringExtensions.h"

#include <QFontMetrics>
#include <QHash>
#include <QStaticText>
#include <QPainter>
#include <QPalette>

#include <algorithm>
#include <optional>

namespace zen {

using Style = DashboardPreviewStyle;

namespace {

constexpr int handleWidth = 14;
constexpr int barWidth = 8;
constexpr int iconSide = 18;
constexpr int spacing = 8;
constexpr int buttonSide = 22;

const QFont& nameFont()
{
    static const QFont font = Style::font(Style::TextStyle::caption, QFont::Medium);
    return font;
}

const QFont& smallFont()
{
    static const QFont font = Style::font(Style::TextStyle::caption2);
    return font;
}

const QFont& badgeFont()
{
    static const QFont font = Style::font(Style::TextStyle::caption2, QFont::Medium);
    return font;
}

// A text laid out once and drawn as often as needed, with the room it takes.
struct LaidOutText {
    QStaticText text;
    int width = 0;
};

LaidOutText laidOut(const QString& text, int width)
{
    QStaticText laidOut(text);
    // Names come from files and desktop entries: never markup.
    laidOut.setTextFormat(Qt::PlainText);
    laidOut.setPerformanceHint(QStaticText::AggressiveCaching);
    return {laidOut, width};
}

int textBlockHeight()
{
    const QFontMetrics name(nameFont());
    const QFontMetrics badge(badgeFont());
    const QFontMetrics small(smallFont());
    return std::max(name.height(), badge.height() + 2) + 1 + small.height();
}

} // namespace

DashboardDisplayWindowRow::DashboardDisplayWindowRow(const WindowRecord& window, DashboardAppIdentity identity)
    : m_window(&window), m_identity(std::move(identity))
{
}

const DashboardDisplayWindowRow::Texts& DashboardDisplayWindowRow::texts() const
{
    if (!m_texts)
        m_texts = Texts {stateLabels(*m_window), isolatedForDisplay(m_identity.name),
                         isolatedForDisplay(displayTitle(*m_window, m_identity))};
    return *m_texts;
}

QString DashboardDisplayWindowRow::accessibleName() const
{
    return m_identity.name + QStringLiteral(", ") + displayTitle(*m_window, m_identity);
}

QString DashboardDisplayWindowRow::moveEarlierTitle()
{
    return QStringLiteral("Move Earlier in Restore Order");
}

QString DashboardDisplayWindowRow::moveLaterTitle()
{
    return QStringLiteral("Move Later in Restore Order");
}

QString DashboardDisplayWindowRow::removeTitle()
{
    return QStringLiteral("Remove Window from Layout");
}

QString DashboardDisplayWindowRow::toolTip()
{
    return QStringLiteral("Drag to change restore order\nAlt+Up / Alt+Down");
}

QStringList DashboardDisplayWindowRow::stateLabels(const WindowRecord& window)
{
    QStringList labels;
    if (window.isFullscreen)
        labels << QStringLiteral("Fullscreen");
    if (window.isMinimized)
        labels << QStringLiteral("Minimized");
    else if (!window.isVisible)
        labels << QStringLiteral("Hidden");
    return labels;
}

QString DashboardDisplayWindowRow::displayTitle(const WindowRecord& window, const DashboardAppIdentity& identity)
{
    return nonEmptyValue(window.windowTitle).value_or(identity.bundleIdentifier);
}

int DashboardDisplayWindowRow::height()
{
    static const int h = std::max({buttonSide, iconSide, textBlockHeight()});
    return h;
}

int DashboardDisplayWindowRow::minimumWidth()
{
    return handleWidth + barWidth + iconSide + buttonSide + 4 * spacing + 8;
}

int DashboardDisplayWindowRow::preferredWidth()
{
    return minimumWidth() + 160;
}

QRect DashboardDisplayWindowRow::removeButtonRect(const QRect& row)
{
    return QRect(row.right() + 1 - 2 - buttonSide, row.center().y() - buttonSide / 2, buttonSide, buttonSide);
}

void DashboardDisplayWindowRow::paint(QPainter& p, const QRect& row, const QPalette& palette, const QColor& background,
                                      PaintState state, qreal dpr) const
{
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    if (state.focused) {
        // Keyboard users move the focused row with the move keys: show which one it is.
        p.setPen(QPen(palette.color(QPalette::Highlight), 1.5));
        p.setBrush(Qt::NoBrush);
        p.drawRoundedRect(QRectF(row).adjusted(0.75, 0.75, -0.75, -0.75), 4, 4);
    }
    const int midY = row.center().y() + 1;
    int x = row.left() + 2;

    // What every row of one paint shares: looked up once, not once per row.
    struct Shared {
        qint64 paletteKey = -1;
        QRgb background = 0;
        qreal dpr = 0;
        int dpi = 0;
        QPixmap handle;
        QPixmap remove;
        QPixmap removeDisabled;
        QColor secondary;
        std::optional<QFontMetrics> name, badge, small;
        // Application names and badge labels repeat from row to row: each is elided, measured
        // and shaped once, not once per row.
        QHash<std::pair<QString, int>, LaidOutText> names;
        QHash<QString, LaidOutText> badges;
    };
    thread_local Shared shared;
    const int dpi = p.device() ? p.device()->logicalDpiY() : 0;
    if (shared.paletteKey != palette.cacheKey() || shared.background != background.rgba() || shared.dpr != dpr
        || shared.dpi != dpi) {
        shared.paletteKey = palette.cacheKey();
        shared.background = background.rgba();
        shared.dpr = dpr;
        shared.dpi = dpi;
        shared.secondary = DashboardRowColors::secondary(Style::primary(palette), background);
        shared.handle = DashboardSymbols::tintedPixmap(QStringLiteral("line.3.horizontal"),
                                                       QSize(handleWidth, handleWidth), Style::tertiary(palette), dpr);
        shared.remove = DashboardSymbols::tintedPixmap(QStringLiteral("minus.circle"), QSize(16, 16), shared.secondary, dpr);
        shared.removeDisabled =
            DashboardSymbols::tintedPixmap(QStringLiteral("minus.circle"), QSize(16, 16), Style::tertiary(palette), dpr);
        shared.name.emplace(nameFont(), p.device());
        shared.badge.emplace(badgeFont(), p.device());
        shared.small.emplace(smallFont(), p.device());
        shared.names.clear();
        shared.badges.clear();
    }
    // A bound for layouts naming thousands of applications.
    if (shared.names.size() > 512)
        shared.names.clear();

    p.drawPixmap(QPoint(x, midY - handleWidth / 2), shared.handle);
    x += handleWidth + spacing;

    // The row's own save covers the fill's pen and brush: no second save per row.
    p.setPen(Qt::NoPen);
    p.setBrush(m_identity.accentColor);
    p.drawRoundedRect(QRectF(x, midY - 9, barWidth, 18), 2, 2);
    x += barWidth + spacing;

    if (m_iconDpr != dpr) {
        m_icon = Style::roundedIcon(m_identity.icon, iconSide, 4, dpr);
        m_iconDpr = dpr;
    }
    p.drawPixmap(QPoint(x, midY - iconSide / 2), m_icon);
    x += iconSide + spacing;

    const QRect button = removeButtonRect(row);
    const int right = button.left() - spacing;
    const int textWidth = std::max(0, right - x);
    const int top = midY - textBlockHeight() / 2;
    const QFontMetrics& nameMetrics = *shared.name;
    const QFontMetrics& badgeMetrics = *shared.badge;
    const QFontMetrics& smallMetrics = *shared.small;
    const int lineHeight = std::max(nameMetrics.height(), badgeMetrics.height() + 2);
    const QColor secondary = shared.secondary;

    const Texts& texts = this->texts();
    const auto badge = [&](const QString& label) -> const LaidOutText& {
        auto found = shared.badges.find(label);
        if (found == shared.badges.end())
            found = shared.badges.insert(label, laidOut(label, badgeMetrics.horizontalAdvance(label)));
        return *found;
    };
    // Badges keep their room; the name gives way first.
    int badgesWidth = 0;
    for (const QString& label : texts.stateLabels)
        badgesWidth += 5 + badge(label).width + 10;
    const int nameRoom = std::max(0, textWidth - badgesWidth);
    auto name = shared.names.find({texts.shownName, nameRoom});
    if (name == shared.names.end()) {
        // Measuring a name of any length costs its whole length: elide first, measure what is left.
        const QString elided = nameMetrics.elidedText(texts.shownName, Qt::ElideRight, nameRoom);
        name = shared.names.insert({texts.shownName, nameRoom},
                                   laidOut(elided, std::min(nameMetrics.horizontalAdvance(elided) + 1, nameRoom)));
    }
    if (m_elidedForWidth != textWidth) {
        m_elidedTitle = smallMetrics.elidedText(texts.shownTitle, Qt::ElideRight, textWidth);
        m_elidedForWidth = textWidth;
    }
    p.setFont(nameFont());
    p.setPen(Style::primary(palette));
    // Texts are elided already: drawn at their line's top, without the toolkit laying them out
    // again in a box, which costs more than the rest of the row.
    const auto textTop = [](const QFontMetrics& metrics, int lineTop, int lineHeight) {
        return lineTop + (lineHeight - metrics.height()) / 2;
    };
    p.drawStaticText(QPoint(x, textTop(nameMetrics, top, lineHeight)), name->text);
    int badgeX = x + name->width;
    p.setFont(badgeFont());
    for (const QString& label : texts.stateLabels) {
        badgeX += 5;
        const LaidOutText& text = badge(label);
        const int w = text.width + 10;
        if (badgeX + w > right)
            break;
        const QRect badgeRect(badgeX, top + (lineHeight - badgeMetrics.height() - 2) / 2, w, badgeMetrics.height() + 2);
        Style::fillRounded(p, QRectF(badgeRect), badgeRect.height() / 2.0, Style::quaternaryFill(palette));
        p.setPen(secondary);
        p.drawStaticText(QPoint(badgeRect.left() + 5, textTop(badgeMetrics, badgeRect.top(), badgeRect.height())),
                         text.text);
        badgeX += w;
    }

    p.setFont(smallFont());
    p.setPen(secondary);
    p.drawText(QPoint(x, textTop(smallMetrics, top + lineHeight + 1, smallMetrics.height()) + smallMetrics.ascent()),
               m_elidedTitle);

    if (state.removeHovered && state.editingEnabled)
        Style::fillRounded(p, QRectF(button), 4, Style::quaternaryFill(palette));
    p.drawPixmap(button.topLeft() + QPoint(3, 3), state.editingEnabled ? shared.remove : shared.removeDisabled);
    p.restore();
}

} // namespace zen
