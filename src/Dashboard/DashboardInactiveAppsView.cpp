#include "Dashboard/DashboardInactiveAppsView.h"

#include "Dashboard/DashboardAppIdentityResolver.h"
#include "Dashboard/DashboardDisplayPreviewCard.h"
#include "Dashboard/DashboardElidedLabel.h"
#include "Dashboard/DashboardPreviewStyle.h"
#include "Dashboard/DashboardSnapshotPresentation.h"
#include "Dashboard/DashboardSymbols.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QVBoxLayout>

namespace zen {

using Style = DashboardPreviewStyle;

namespace {

QWidget* inactiveAppRow(const DashboardInactiveAppSummary& app, QWidget* parent)
{
    auto* row = new QWidget(parent);
    row->setObjectName(QStringLiteral("inactiveAppRow"));
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 4, 0, 4);
    layout->setSpacing(12);

    auto* icon = new QLabel(row);
    icon->setPixmap(Style::roundedIcon(app.identity().icon, 28, 6, row->devicePixelRatioF()));
    icon->setFixedSize(28, 28);
    layout->addWidget(icon);

    auto* texts = new QVBoxLayout;
    texts->setSpacing(4);
    // An application known only by its id may carry a name hundreds of characters long: it is
    // cut to the row's width, as the window rows do, rather than widening the pane.
    auto* name = new DashboardElidedLabel(row);
    name->setText(Style::singleLine(app.name()));
    name->setFont(Style::font(Style::TextStyle::subheadline, QFont::DemiBold));
    name->setObjectName(QStringLiteral("appName"));
    QLabel* count = Style::label(DashboardDisplayPreviewCard::windowCountText(app.windowCount()),
                                 Style::TextStyle::caption, QFont::Normal, true, row);
    count->setObjectName(QStringLiteral("windowCount"));
    texts->addWidget(name);
    texts->addWidget(count);
    layout->addLayout(texts, 1);
    layout->addSpacing(12);
    layout->addWidget(Style::badge(QStringLiteral("Not Running"), Style::TextStyle::caption, 7, 3, row));
    return row;
}

} // namespace

DashboardInactiveAppsView::DashboardInactiveAppsView(const Snapshot& snapshot,
                                                     DashboardAppIdentityResolver& appIdentityResolver,
                                                     const QSet<QString>& runningBundleIdentifiers, QWidget* parent)
    : QWidget(parent), m_snapshot(snapshot), m_resolver(appIdentityResolver), m_running(runningBundleIdentifiers)
{
    auto* layout = new QVBoxLayout(this);
    // Its background is the window's: the heading and the cards line up with the metric cards
    // above, not inside an invisible frame.
    layout->setContentsMargins(0, 18, 0, 18);
    layout->setSpacing(14);
    layout->addWidget(Style::label(QStringLiteral("Inactive Apps"), Style::TextStyle::headline));
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Minimum);
    rebuild();
}

void DashboardInactiveAppsView::update(const Snapshot& snapshot, const QSet<QString>& runningBundleIdentifiers)
{
    m_snapshot = snapshot;
    m_running = runningBundleIdentifiers;
    rebuild();
}

void DashboardInactiveAppsView::rebuild()
{
    delete m_content;
    m_content = new QWidget(this);
    m_content->setObjectName(QStringLiteral("content"));
    auto* box = new QVBoxLayout(m_content);
    box->setContentsMargins(0, 0, 0, 0);

    const auto inactive = DashboardSnapshotPresentation::inactiveAppSummaries(
        m_snapshot, m_running, [this](const QString& id) { return m_resolver.identity(id); });
    if (m_snapshot.windows.empty()) {
        box->addWidget(Style::label(QStringLiteral("No windows were saved in this layout."), Style::TextStyle::subheadline,
                                    QFont::Normal, true));
    } else if (!inactive.empty()) {
        box->setSpacing(12);
        for (const QString& text : DashboardSnapshotPresentation::inactiveAppsNotes(inactive)) {
            QLabel* note = Style::label(text, Style::TextStyle::footnote, QFont::Normal, true);
            note->setWordWrap(true);
            box->addWidget(note);
        }
        for (const DashboardInactiveAppSummary& app : inactive)
            box->addWidget(inactiveAppRow(app, m_content));
    } else {
        auto* line = new QHBoxLayout;
        line->setSpacing(8);
        auto* check = new QLabel;
        check->setPixmap(DashboardSymbols::tintedPixmap(QStringLiteral("checkmark.circle.fill"), QSize(16, 16),
                                                        QColor(0x34, 0xc7, 0x59), devicePixelRatioF()));
        line->addWidget(check);
        line->addWidget(Style::label(QStringLiteral("All saved apps are running."), Style::TextStyle::subheadline,
                                     QFont::Normal, true));
        line->addStretch(1);
        box->addLayout(line);
    }
    static_cast<QVBoxLayout*>(layout())->addWidget(m_content);
    // Shown now: a layout shows a widget it takes in only one turn later.
    m_content->show();
}

void DashboardInactiveAppsView::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    Style::fillRounded(p, QRectF(rect()), 14, Style::windowBackground(palette()));
}

} // namespace zen
