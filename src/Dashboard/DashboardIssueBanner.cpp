#include "Dashboard/DashboardIssueBanner.h"

#include "Dashboard/DashboardPreviewStyle.h"
#include "Dashboard/DashboardSymbols.h"
#include "MenuBar/MenuText.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QTextBoundaryFinder>
#include <QVBoxLayout>

namespace zen {

using Style = DashboardPreviewStyle;

namespace {

// Longer unbroken runs are cut in the middle: file names and ids stay whole, while a pasted
// name of any length adds a line or two instead of hundreds.
constexpr qsizetype longestShownRun = 120;
// Runs at least this long may break between any two characters.
constexpr qsizetype breakableRun = 24;

// The message as the banner shows it. A message quotes names as they were typed, and word
// wrapping cannot break one unbroken name: the banner would be as wide as the name and push
// the pane's buttons out of the window.
QString shownMessage(const QString& message)
{
    QString shown;
    shown.reserve(message.size());
    qsizetype start = 0;
    while (start < message.size()) {
        if (message.at(start).isSpace()) {
            shown += message.at(start++);
            continue;
        }
        qsizetype end = start;
        while (end < message.size() && !message.at(end).isSpace())
            ++end;
        QString run = message.mid(start, end - start);
        start = end;
        if (run.size() > longestShownRun) {
            qsizetype head = longestShownRun / 2;
            qsizetype tail = longestShownRun - head - 1;
            if (run.at(head - 1).isHighSurrogate())
                --head;
            if (run.at(run.size() - tail).isLowSurrogate())
                --tail;
            run = run.left(head) + QChar(0x2026) + run.right(tail);
        }
        if (run.size() < breakableRun) {
            shown += run;
            continue;
        }
        // A zero-width space between letters (whole characters, never inside one) is a place
        // where the line may break; it draws nothing.
        QTextBoundaryFinder letters(QTextBoundaryFinder::Grapheme, run);
        qsizetype from = 0;
        for (qsizetype to = letters.toNextBoundary(); to > 0; to = letters.toNextBoundary()) {
            if (from > 0)
                shown += QChar(0x200B);
            shown += QStringView(run).mid(from, to - from);
            from = to;
        }
    }
    return shown;
}

} // namespace

DashboardIssueBanner::DashboardIssueBanner(const QString& title, const QString& message, const QString& systemImage,
                                           const QColor& tint, std::optional<QString> actionTitle,
                                           std::function<void()> action, QWidget* parent)
    : QWidget(parent)
    , m_fullMessage(message)
{
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(12, 10, 12, 10);
    row->setSpacing(10);

    auto* symbol = new QLabel(this);
    symbol->setObjectName(QStringLiteral("symbol"));
    symbol->setPixmap(DashboardSymbols::tintedPixmap(systemImage, QSize(17, 17), tint, devicePixelRatioF()));
    symbol->setAlignment(Qt::AlignTop);
    symbol->setAccessibleName(QString());
    row->addWidget(symbol, 0, Qt::AlignTop);

    auto* texts = new QVBoxLayout;
    texts->setSpacing(2);
    m_title = Style::label(title, Style::TextStyle::subheadline, QFont::DemiBold, false, this);
    m_message = Style::label(shownMessage(message), Style::TextStyle::caption, QFont::Normal, true, this);
    // Grows vertically to show every line instead of cutting the message.
    m_message->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Minimum);
    m_message->setWordWrap(true);
    texts->addWidget(m_title);
    texts->addWidget(m_message);
    row->addLayout(texts, 1);

    if (actionTitle && action) {
        m_actionButton = new QPushButton(menuText(*actionTitle), this);
        m_actionButton->setFlat(true);
        m_actionButton->setCursor(Qt::PointingHandCursor);
        QPalette p = m_actionButton->palette();
        p.setColor(QPalette::ButtonText, p.color(QPalette::Link));
        m_actionButton->setPalette(p);
        m_actionButton->setStyleSheet(QStringLiteral("QPushButton { border: none; padding: 0; }"));
        connect(m_actionButton, &QPushButton::clicked, this, [action = std::move(action)] { action(); });
        row->addWidget(m_actionButton, 0, Qt::AlignTop);
    }
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Minimum);
}

QString DashboardIssueBanner::title() const
{
    return m_title->text();
}

QString DashboardIssueBanner::message() const
{
    return m_fullMessage;
}

void DashboardIssueBanner::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    Style::fillRounded(p, QRectF(rect()), 8, Style::windowBackground(palette()));
}

} // namespace zen
