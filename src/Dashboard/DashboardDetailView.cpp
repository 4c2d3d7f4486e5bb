#include "Dashboard/DashboardDetailView.h"

#include "Dashboard/DashboardAppIdentityResolver.h"
#include "Dashboard/DashboardHotkeyMetricCard.h"
#include "Dashboard/DashboardInactiveAppsView.h"
#include "Dashboard/DashboardIssueBanner.h"
#include "Dashboard/DashboardMetricCard.h"
#include "Dashboard/DashboardPreviewStyle.h"
#include "Dashboard/MiddleElidedLabel.h"
#include "Dashboard/DashboardRelativeDateFormatter.h"
#include "Dashboard/DashboardSnapshotPreviewView.h"
#include "Dashboard/DashboardView.h"
#include "Shared/DesktopWords.h"
#include "Dashboard/DashboardViewPresenter.h"
#include "Permissions/PermissionInterventionRouter.h"
#include "Onboarding/OnboardingPermissionEducationView.h"
#include "Onboarding/SymbolImage.h"
#include "Onboarding/TextStyle.h"
#include "Shared/StringExtensions.h"

#include <QCoreApplication>
#include <QEvent>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QSplitter>
#include <QStackedWidget>
#include <QStyleOptionButton>
#include <QToolButton>
#include <QVBoxLayout>

#include <optional>
#include <vector>

namespace zen {

namespace {

// Four cards share one row of the pane at the window's default size, scroll bar included.
constexpr int gridMinimumColumn = 132;
constexpr int gridSpacing = 12;

const QColor systemRed(255, 59, 48);
const QColor systemOrange(255, 149, 0);

QColor tintOf(DashboardDetailIssue::Kind kind)
{
    return kind == DashboardDetailIssue::Kind::accessibilityRequired ? systemOrange : systemRed;
}

// The dashboard's actions may be left out.
void run(const std::function<void()>& action)
{
    if (action)
        action();
}

// Cells of at least `gridMinimumColumn` wide, as many per row as fit, stretched to share the
// width equally; cells of a row are as tall as its tallest.
class AdaptiveCardGrid final : public QWidget {
public:
    explicit AdaptiveCardGrid(QWidget* parent) : QWidget(parent)
    {
        QSizePolicy policy(QSizePolicy::Expanding, QSizePolicy::Preferred);
        policy.setHeightForWidth(true);
        setSizePolicy(policy);
    }

    void addCell(QWidget* cell)
    {
        cell->setParent(this);
        m_cells.push_back(cell);
    }

    // As many as fit, but no empty columns: the cells share a wide pane between them.
    int columns(int width) const
    {
        const int fit = (width + gridSpacing) / (gridMinimumColumn + gridSpacing);
        return std::clamp(fit, 1, std::max(1, int(m_cells.size())));
    }

    bool hasHeightForWidth() const override { return true; }
    int heightForWidth(int width) const override
    {
        int height = 0;
        const int perRow = columns(width);
        for (size_t start = 0; start < m_cells.size(); start += perRow)
            height += rowHeight(start, perRow) + (start ? gridSpacing : 0);
        return height;
    }
    QSize sizeHint() const override { return QSize(gridMinimumColumn, heightForWidth(std::max(width(), 1))); }
    // One row: the height a width calls for comes from heightForWidth. The stacked column's
    // height here would make the page that tall at every width, scrolling into empty space.
    QSize minimumSizeHint() const override { return QSize(gridMinimumColumn, heightForWidth(QWIDGETSIZE_MAX)); }

protected:
    void resizeEvent(QResizeEvent* event) override
    {
        QWidget::resizeEvent(event);
        const int perRow = columns(width());
        const int cellWidth = (width() - (perRow - 1) * gridSpacing) / perRow;
        int y = 0;
        for (size_t start = 0; start < m_cells.size(); start += perRow) {
            const int rowH = rowHeight(start, perRow);
            for (size_t i = start; i < std::min(m_cells.size(), start + perRow); ++i) {
                const int x = int(i - start) * (cellWidth + gridSpacing);
                // The last column takes what the division left over, so the row ends flush.
                const bool last = int(i - start) == perRow - 1;
                m_cells[i]->setGeometry(x, y, last ? width() - x : cellWidth, rowH);
            }
            y += rowH + gridSpacing;
        }
        if (y - gridSpacing != height())
            updateGeometry();
    }

private:
    int rowHeight(size_t start, int perRow) const
    {
        int height = 0;
        for (size_t i = start; i < std::min(m_cells.size(), start + perRow); ++i)
            height = std::max(height, m_cells[i]->sizeHint().height());
        return height;
    }

    std::vector<QWidget*> m_cells;
};

// The pane's one prominent button, painted as the onboarding's style-sheet button looks (accent
// fill, a darker 1 px edge, 5 px corners, 4 px by 14 px padding), without a style sheet: a style
// sheet costs the first opening a parse and a restyle of the button, and slower painting.
class ProminentButton final : public QPushButton {
public:
    static constexpr int border = 1;
    static constexpr int paddingX = 14;
    static constexpr int paddingY = 4;
    static constexpr int focusRingWidth = 2;
    static constexpr int focusRingGap = 1;

    ProminentButton(const QIcon& icon, const QString& text, QWidget* parent)
        : QPushButton(icon, text, parent)
        , m_colours(TextStyle::prominentColours())
    {
        setAttribute(Qt::WA_Hover);
    }

    QSize sizeHint() const override
    {
        ensurePolished();
        QStyleOptionButton option;
        initStyleOption(&option);
        int w = 0;
        int h = 0;
        if (!icon().isNull()) {
            w += option.iconSize.width() + 4;
            h = option.iconSize.height();
        }
        const QSize textSize = fontMetrics().size(Qt::TextShowMnemonic, text().isEmpty() ? QStringLiteral("XXXX") : text());
        if (!text().isEmpty() || !w)
            w += textSize.width();
        if (!text().isEmpty() || !h)
            h = std::max(h, textSize.height());
        return {w + 2 * (paddingX + border), h + 2 * (paddingY + border)};
    }
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintEvent(QPaintEvent*) override
    {
        const QColor& accent = m_colours.fill;
        QColor fill = accent;
        QColor edge = accent.darker(120);
        QColor label = m_colours.text;
        if (!isEnabled()) {
            // The style sheet this replaces meant a faded fill here, but its colours' alpha was
            // never applied: a person has always seen the accent, edge included, and white text.
            edge = fill;
        } else if (isDown()) {
            fill = edge;
        } else if (underMouse()) {
            fill = accent.lighter(108);
        }
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        // The edge as the ring between two filled shapes: filling is much cheaper than stroking.
        const QRectF outer(rect());
        QPainterPath ring;
        ring.addRoundedRect(outer, 5, 5);
        QPainterPath inside;
        inside.addRoundedRect(outer.adjusted(border, border, -border, -border), 5 - border, 5 - border);
        painter.fillPath(ring.subtracted(inside), edge);
        painter.fillPath(inside, fill);
        painter.setRenderHint(QPainter::Antialiasing, false);

        QStyleOptionButton option;
        initStyleOption(&option);
        option.rect = rect().adjusted(paddingX + border, paddingY + border, -(paddingX + border), -(paddingY + border));
        option.state &= ~(QStyle::State_On | QStyle::State_Sunken);
        option.palette.setColor(QPalette::ButtonText, label);
        style()->drawControl(QStyle::CE_PushButtonLabel, &option, &painter, this);
        if (hasFocus() && window()->testAttribute(Qt::WA_KeyboardFocusChange)) {
            // Shown once the keyboard moves focus, as the style's rings are. The style draws
            // its ring in the highlight colour, the accent this button is filled with, where it
            // would not show; one in the label's colour, inside the edge, reads as the label does.
            painter.setRenderHint(QPainter::Antialiasing);
            painter.setPen(QPen(label, focusRingWidth));
            painter.setBrush(Qt::NoBrush);
            const qreal inset = border + focusRingGap + focusRingWidth / 2.0;
            painter.drawRoundedRect(outer.adjusted(inset, inset, -inset, -inset), 5 - inset / 2, 5 - inset / 2);
        }
    }

private:
    TextStyle::ProminentColours m_colours;
};

// The host's frame around the education: filled and rounded.
class RoundedPanel final : public QWidget {
public:
    RoundedPanel(int radius, QWidget* parent) : QWidget(parent), m_radius(radius) {}

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        QPainterPath shape;
        shape.addRoundedRect(QRectF(rect()), m_radius, m_radius);
        painter.fillPath(shape, palette().color(QPalette::Base));
    }

private:
    int m_radius;
};

// The rename field: Return commits (QLineEdit's own signal), Escape cancels.
class TitleField final : public QLineEdit {
public:
    using QLineEdit::QLineEdit;
    std::function<void()> onEscape;

protected:
    void keyPressEvent(QKeyEvent* event) override
    {
        if (event->key() == Qt::Key_Escape && onEscape) {
            onEscape();
            return;
        }
        QLineEdit::keyPressEvent(event);
    }
};

// The header: the title block beside the action strip while the title has room for its whole
// text or at least `titleMinimumCharacters` beside it; otherwise the strip goes under the title,
// so the buttons never squeeze a name to a few letters and a long name never pushes a button
// out of the pane.
class DetailHeader final : public QWidget {
public:
    static constexpr int titleMinimumCharacters = 28;

    explicit DetailHeader(QWidget* parent) : QWidget(parent) {}

    // The title and the buttons are made as this header's children: taking them in from
    // elsewhere would re-resolve their style and font one by one.
    void setContent(MiddleElidedLabel* title, QLayout* titleBlock, QLayout* strip)
    {
        m_title = title;
        m_strip = strip;
        m_box = new QBoxLayout(QBoxLayout::LeftToRight, this);
        m_box->setContentsMargins(0, 0, 0, 0);
        m_box->setSpacing(16);
        m_box->addLayout(titleBlock, 1);
        m_box->addLayout(strip);
        m_box->setAlignment(strip, Qt::AlignTop | Qt::AlignLeft);
    }

    // Called when the title's text changes as well as on resizing.
    void arrange()
    {
        const QFontMetrics metrics = m_title->fontMetrics();
        const int floor = metrics.averageCharWidth() * titleMinimumCharacters;
        // Measuring a start well past the floor is enough to compare, and stays quick for a
        // name of any length from a hand-edited file.
        const int wanted = std::min(metrics.horizontalAdvance(m_title->text().left(titleMinimumCharacters * 8)) + 2,
                                    floor);
        const int beside = width() - m_strip->sizeHint().width() - m_box->spacing();
        const auto direction = beside >= wanted ? QBoxLayout::LeftToRight : QBoxLayout::TopToBottom;
        if (direction != m_box->direction()) {
            m_box->setDirection(direction);
            m_box->setSpacing(direction == QBoxLayout::LeftToRight ? 16 : 12);
        }
    }

protected:
    void resizeEvent(QResizeEvent* event) override
    {
        QWidget::resizeEvent(event);
        if (m_box)
            arrange();
    }

private:
    MiddleElidedLabel* m_title = nullptr;
    QLayout* m_strip = nullptr;
    QBoxLayout* m_box = nullptr;
};

// A face's scroll area. The Tab key stops on it, so that the keys scroll a page that goes on
// below its last control; while it has the keyboard a ring inside its edges says so, drawn
// over the page by a widget of its own that lets the pointer through.
class FaceScrollArea final : public QScrollArea {
public:
    explicit FaceScrollArea(QWidget* parent) : QScrollArea(parent), m_ring(new Ring(this)) { m_ring->hide(); }

protected:
    void focusInEvent(QFocusEvent* event) override
    {
        QScrollArea::focusInEvent(event);
        if (window()->testAttribute(Qt::WA_KeyboardFocusChange)) {
            m_ring->setGeometry(viewport()->geometry());
            m_ring->raise();
            m_ring->show();
        }
    }
    void focusOutEvent(QFocusEvent* event) override
    {
        QScrollArea::focusOutEvent(event);
        m_ring->hide();
    }
    void resizeEvent(QResizeEvent* event) override
    {
        QScrollArea::resizeEvent(event);
        m_ring->setGeometry(viewport()->geometry());
    }

private:
    class Ring final : public QWidget {
    public:
        explicit Ring(QWidget* parent) : QWidget(parent) { setAttribute(Qt::WA_TransparentForMouseEvents); }

    protected:
        void paintEvent(QPaintEvent*) override
        {
            constexpr int width = 2;
            QPainter painter(this);
            painter.setRenderHint(QPainter::Antialiasing);
            painter.setPen(QPen(palette().color(QPalette::Active, QPalette::Highlight), width));
            painter.drawRoundedRect(QRectF(rect()).adjusted(width / 2.0, width / 2.0, -width / 2.0, -width / 2.0), 4, 4);
        }
    };
    Ring* m_ring;
};

// A face's column: the issue section every face starts with, then the face's own parts.
QVBoxLayout* faceColumn(std::vector<QVBoxLayout*>& issueSections)
{
    auto* content = new QWidget;
    auto* column = new QVBoxLayout(content);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(20);
    auto* holder = new QWidget(content);
    auto* section = new QVBoxLayout(holder);
    section->setContentsMargins(0, 0, 0, 0);
    section->setSpacing(8);
    column->addWidget(holder);
    holder->hide();
    issueSections.push_back(section);
    return column;
}

// Adds the face of `content` in a scroll area, the content centred and at most `maximumWidth`
// wide (0: full width).
QScrollArea* addScrollingFace(QWidget* content, int maximumWidth, bool centreVertically, QStackedWidget* faces)
{
    auto* scroll = new FaceScrollArea(faces);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setWidgetResizable(true);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    auto* page = new QWidget;
    auto* outer = new QVBoxLayout(page);
    outer->setContentsMargins(24, 24, 24, 24);
    // Taking a page measures it at once; an empty page is measured in no time, and the
    // content is measured once, when the face is laid out.
    scroll->setWidget(page);
    if (centreVertically)
        outer->addStretch(1);
    auto* row = new QHBoxLayout;
    if (maximumWidth > 0) {
        content->setMaximumWidth(maximumWidth);
        row->addStretch(1);
        row->addWidget(content, 100);
        row->addStretch(1);
    } else {
        row->addWidget(content);
    }
    outer->addLayout(row);
    outer->addStretch(1);
    scroll->viewport()->setAutoFillBackground(false);
    faces->addWidget(scroll);
    return scroll;
}

} // namespace

DashboardDetailView::DashboardDetailView(DashboardDetailViewPresenter* presenter, QWidget* parent)
    : QWidget(parent)
    , m_presenter(presenter)
    , m_clock([] { return QDateTime::currentDateTime(); })
{
    if (!m_presenter->parent())
        m_presenter->setParent(this);
    m_relativeDateText = [](const QDateTime& date, const QDateTime&) {
        return QLocale().toString(date, QLocale::ShortFormat);
    };

    m_faces = new QStackedWidget(this);
    buildLayoutFace();
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_faces);

    connect(m_presenter, &DashboardDetailViewPresenter::changed, this, &DashboardDetailView::render);
    connect(m_presenter, &DashboardDetailViewPresenter::titleFieldFocusRequested, this, [this] {
        if (m_titleField->isVisible()) {
            m_titleField->setFocus(Qt::OtherFocusReason);
            m_titleField->selectAll();
        }
    });
    render();
}

DashboardDetailView* DashboardDetailView::installIn(DashboardView& window)
{
    DashboardViewPresenter* dashboard = &window.presenter();
    DashboardDetailViewPresenter::Actions actions;
    actions.renameSnapshotInline = [dashboard](const QUuid& id, const QString& name) {
        return dashboard->renameSnapshotInline(id, name);
    };
    actions.clearHotkey = [dashboard] { dashboard->clearHotkeyOfSelectedSnapshot(); };
    actions.deleteSnapshot = [dashboard] { dashboard->requestDeletionOfSelectedSnapshot(); };
    actions.removeWindow = [dashboard](const WindowRecord& record) { dashboard->requestWindowRemoval(record); };
    actions.reorderWindows = [dashboard](std::uint32_t displayID, const std::vector<QUuid>& ids) {
        return dashboard->reorderDisplayWindows(displayID, ids);
    };
    actions.updateSnapshot = [dashboard] { dashboard->requestUpdateOfSelectedSnapshot(); };
    actions.restoreSnapshot = [dashboard] { dashboard->restoreSelectedSnapshot(); };
    actions.saveSnapshot = [dashboard] { dashboard->saveSnapshot(); };

    const auto& router = dashboard->permissionRouter();
    auto* presenter = new DashboardDetailViewPresenter(dashboard->bootstrapErrorMessage(), router->permissionCoordinator(),
                                                       router, dashboard->snapshotMenuController(), std::move(actions),
                                                       {});
    const auto follow = [dashboard, presenter] {
        presenter->setSelection(dashboard->selectedSnapshotID(), dashboard->selectedSnapshot(),
                                dashboard->selectedSummary(), dashboard->isSelectedSnapshotDue());
    };
    // The pane opens on the window's selection, so only the face that shows is ever made.
    follow();
    // Made inside the window, so its widgets take the window's palette and font as they are
    // made rather than all over again when the pane is moved in.
    auto* pane = new DashboardDetailView(presenter, window.splitter());
    pane->setRelativeDateText(&DashboardRelativeDateFormatter::string);
    pane->setTrayAvailable(window.dependencies().systemTrayAvailable);
    if (const auto& now = window.dependencies().now)
        pane->setClock(now);

    connect(dashboard, &DashboardViewPresenter::changed, presenter, follow);
    connect(dashboard, &DashboardViewPresenter::inlineRenameRequested, presenter,
            [presenter](const QUuid& id) { presenter->setInlineRenameRequestID(id); });
    connect(dashboard, &DashboardViewPresenter::hotkeyEditRequested, presenter,
            [presenter](const QUuid& id) { presenter->setHotkeyEditRequestID(id); });
    window.setDetailPane(pane);
    return pane;
}

DashboardDetailView::~DashboardDetailView()
{
    disconnect(m_presenter, nullptr, this, nullptr);
}

void DashboardDetailView::setRelativeDateText(RelativeDateText text)
{
    m_relativeDateText = std::move(text);
    render();
}

void DashboardDetailView::setClock(std::function<QDateTime()> clock)
{
    m_clock = std::move(clock);
    render();
}

void DashboardDetailView::setTrayAvailable(std::function<bool()> trayAvailable)
{
    m_trayAvailable = std::move(trayAvailable);
    render();
}

QString DashboardDetailView::emptyNote() const
{
    // Without a tray the program's menu is the window's own, which lists no layouts.
    if (m_trayAvailable && !m_trayAvailable())
        return QStringLiteral("Saved layouts appear in the sidebar.");
    return QStringLiteral("Saved layouts appear in the sidebar and %1.").arg(DesktopWords::trayMenu);
}

void DashboardDetailView::refreshRelativeDate()
{
    if (const auto& summary = m_presenter->selectedSummary();
        summary && m_presenter->contentPreference() == DashboardDetailContentPreference::selectedLayout)
        m_updatedLabel->setText(QStringLiteral("Updated ") + m_relativeDateText(summary->updatedAt, m_clock()));
}

QWidget* DashboardDetailView::educationFace() const
{
    const_cast<DashboardDetailView*>(this)->ensureEducationFace();
    return m_educationFace;
}

OnboardingPermissionEducationView* DashboardDetailView::education() const
{
    const_cast<DashboardDetailView*>(this)->ensureEducationFace();
    return m_education;
}

QWidget* DashboardDetailView::emptyFace() const
{
    const_cast<DashboardDetailView*>(this)->ensureEmptyFace();
    return m_emptyFace;
}

QPushButton* DashboardDetailView::saveButton() const
{
    const_cast<DashboardDetailView*>(this)->ensureEmptyFace();
    return m_save;
}

void DashboardDetailView::ensureEducationFace()
{
    if (m_educationFace)
        return;
    buildEducationFace();
    fillIssueSection(m_issueSections.back());
    m_education->setShowsSuccess(m_presenter->educationShowsSuccess());
    m_education->setHasOpenedSystemSettings(m_presenter->hasOpenedDashboardPermissionSettings());
}

void DashboardDetailView::ensureEmptyFace()
{
    if (m_emptyFace)
        return;
    buildEmptyFace();
    fillIssueSection(m_issueSections.back());
    m_save->setEnabled(!m_presenter->isActionLocked());
}

void DashboardDetailView::showPendingFace()
{
    m_facesWait = false;
    if (m_facePending)
        render();
}

QWidget* DashboardDetailView::currentFace() const
{
    const_cast<DashboardDetailView*>(this)->showPendingFace();
    return m_faces->currentWidget();
}

QStringList DashboardDetailView::issueTitles() const
{
    QStringList titles;
    for (auto* banner : currentFace()->findChildren<DashboardIssueBanner*>())
        titles << banner->title();
    return titles;
}

// MARK: Building the faces

void DashboardDetailView::buildLayoutFace()
{
    QVBoxLayout* stack = faceColumn(m_issueSections);
    QWidget* content = stack->parentWidget();

    // Header: title block, then the action strip.
    auto* header = new DetailHeader(content);
    auto* titleBlock = new QVBoxLayout;
    titleBlock->setSpacing(8);
    m_titleLabel = new MiddleElidedLabel(header);
    TextStyle::apply(m_titleLabel, TextStyle::Role::largeTitle, QFont::DemiBold);
    m_titleLabel->onDoubleClick = [this] { m_presenter->beginInlineRename(); };
    auto* field = new TitleField(header);
    field->setPlaceholderText(QStringLiteral("Layout name"));
    field->setFrame(false);
    TextStyle::apply(field, TextStyle::Role::largeTitle, QFont::DemiBold);
    field->onEscape = [this] { m_presenter->cancelInlineRename(); };
    m_titleField = field;
    connect(m_titleField, &QLineEdit::textEdited, m_presenter, &DashboardDetailViewPresenter::setDraftSnapshotName);
    connect(m_titleField, &QLineEdit::returnPressed, m_presenter, &DashboardDetailViewPresenter::commitInlineRename);
    m_updatedLabel = plainLabel({}, header);
    TextStyle::applyColor(m_updatedLabel, TextStyle::Emphasis::secondary);
    titleBlock->addWidget(m_titleLabel);
    titleBlock->addWidget(m_titleField);
    titleBlock->addWidget(m_updatedLabel);

    const QColor symbolColor = TextStyle::color(palette(), TextStyle::Emphasis::primary);
    m_restore = new ProminentButton(SymbolImage::icon(QStringLiteral("arrow.counterclockwise"), Qt::white),
                                    QStringLiteral("Restore Layout"), header);
    m_update = new QPushButton(SymbolImage::icon(QStringLiteral("arrow.triangle.2.circlepath"), symbolColor),
                               QStringLiteral("Update Layout"), header);
    m_rename = new QPushButton(SymbolImage::icon(QStringLiteral("pencil"), symbolColor), QStringLiteral("Rename"),
                               header);
    m_delete = new QToolButton(header);
    m_delete->setAutoRaise(true);
    m_delete->setIcon(SymbolImage::icon(QStringLiteral("trash"), systemRed));
    m_restore->setToolTip(QStringLiteral("Restore Layout"));
    m_update->setToolTip(QStringLiteral("Update Layout"));
    m_rename->setToolTip(QStringLiteral("Rename Layout"));
    m_delete->setToolTip(QStringLiteral("Delete Layout"));
    m_delete->setAccessibleName(QStringLiteral("Delete Layout"));
    auto* strip = new QHBoxLayout;
    strip->setSpacing(8);
    for (QWidget* button : {static_cast<QWidget*>(m_restore), static_cast<QWidget*>(m_update),
                            static_cast<QWidget*>(m_rename), static_cast<QWidget*>(m_delete)})
        strip->addWidget(button);
    header->setContent(m_titleLabel, titleBlock, strip);
    m_header = header;
    stack->addWidget(m_header);

    connect(m_restore, &QPushButton::clicked, this, [this] { run(m_presenter->actions().restoreSnapshot); });
    connect(m_update, &QPushButton::clicked, this, [this] { run(m_presenter->actions().updateSnapshot); });
    connect(m_rename, &QPushButton::clicked, this, [this] { m_presenter->beginInlineRename(); });
    connect(m_delete, &QToolButton::clicked, this, [this] { run(m_presenter->actions().deleteSnapshot); });

    // The count cards and the hotkey card.
    auto* grid = new AdaptiveCardGrid(content);
    for (const auto* title : {"Windows", "Apps", "Displays"}) {
        auto* card = new DashboardMetricCard(QString::fromLatin1(title), QStringLiteral("0"));
        grid->addCell(card);
        m_metricCards.push_back(card);
    }
    DashboardHotkeyMetricCard::Callbacks callbacks;
    callbacks.onEdit = [this] {
        if (const auto& summary = m_presenter->selectedSummary())
            m_presenter->beginHotkeyEditing(summary->id);
    };
    callbacks.onClear = [this] { run(m_presenter->actions().clearHotkey); };
    callbacks.onCancel = [this] { m_presenter->cancelHotkeyEditing(); };
    callbacks.onKey = [this](const HotkeyCaptureKeyEvent& event) { m_presenter->handleCaptureKey(event); };
    callbacks.onDismissError = [this] { m_presenter->setHotkeyCaptureError(std::nullopt); };
    m_hotkeyCard = new DashboardHotkeyMetricCard(std::move(callbacks));
    grid->addCell(m_hotkeyCard);
    m_metrics = grid;
    stack->addWidget(grid);

    // Where the preview and the inactive-applications list go.
    const auto addSlot = [&] {
        auto* slot = new QWidget(content);
        (new QVBoxLayout(slot))->setContentsMargins(0, 0, 0, 0);
        stack->addWidget(slot);
        return slot;
    };
    m_previewSlot = addSlot();
    m_inactiveAppsSlot = addSlot();
    stack->addStretch(1);

    m_layoutFace = addScrollingFace(content, 0, false, m_faces);
}

void DashboardDetailView::buildEducationFace()
{
    QVBoxLayout* stack = faceColumn(m_issueSections);
    QWidget* content = stack->parentWidget();

    m_education = new OnboardingPermissionEducationView(
        m_presenter->educationShowsSuccess(), m_presenter->hasOpenedDashboardPermissionSettings(),
        [this] { m_presenter->openAccessibilitySettingsFromEducation(); }, [this] { m_presenter->checkAgain(); },
        [this] { m_presenter->dismissDashboardPermissionEducation(); });
    // The education's card: padded, filled and rounded by its host.
    auto* card = new RoundedPanel(12, content);
    auto* cardLayout = new QVBoxLayout(card);
    cardLayout->setContentsMargins(18, 18, 18, 18);
    cardLayout->addWidget(m_education);
    stack->addWidget(card);

    m_educationFace = addScrollingFace(content, 560, true, m_faces);
}

void DashboardDetailView::buildEmptyFace()
{
    QVBoxLayout* stack = faceColumn(m_issueSections);
    QWidget* content = stack->parentWidget();

    auto* inner = new QVBoxLayout;
    inner->setSpacing(24);
    auto* symbol = new SymbolLabel(QStringLiteral("rectangle.3.group.bubble.left.fill"), 60,
                                   palette().color(QPalette::Highlight), content);
    symbol->setAccessibleName({});
    inner->addWidget(symbol, 0, Qt::AlignHCenter);

    auto* texts = new QVBoxLayout;
    texts->setSpacing(12);
    auto* title = plainLabel(QStringLiteral("No Saved Layouts"), content);
    TextStyle::apply(title, TextStyle::Role::title2, QFont::DemiBold);
    title->setAlignment(Qt::AlignHCenter);
    auto* body = plainLabel(QStringLiteral("Arrange your windows the way you want, then save the layout."), content);
    body->setWordWrap(true);
    body->setAlignment(Qt::AlignHCenter);
    TextStyle::applyColor(body, TextStyle::Emphasis::secondary);
    auto* note = plainLabel(emptyNote(), content);
    m_emptyNote = note;
    note->setWordWrap(true);
    note->setAlignment(Qt::AlignHCenter);
    TextStyle::apply(note, TextStyle::Role::caption);
    TextStyle::applyColor(note, TextStyle::Emphasis::tertiary);
    auto* bodyStack = new QVBoxLayout;
    bodyStack->setSpacing(4);
    bodyStack->addWidget(body);
    bodyStack->addWidget(note);
    texts->addWidget(title);
    texts->addLayout(bodyStack);
    inner->addLayout(texts);

    m_save = new QPushButton(QStringLiteral("Save Current Layout"), content);
    TextStyle::applyProminent(m_save);
    m_save->setMinimumHeight(m_save->sizeHint().height() + 8);
    connect(m_save, &QPushButton::clicked, this, [this] { run(m_presenter->actions().saveSnapshot); });
    inner->addWidget(m_save, 0, Qt::AlignHCenter);
    stack->addLayout(inner);

    m_emptyFace = addScrollingFace(content, 440, true, m_faces);
}

// MARK: Rendering

void DashboardDetailView::render()
{
    const auto preference = m_presenter->contentPreference();
    std::optional<int> scrollPosition;
    // Until the pane is first shown its window may still be gathering the selection: a face
    // other than the layout's is made only once it is sure to be seen.
    m_facePending = m_facesWait && preference != DashboardDetailContentPreference::selectedLayout;
    switch (preference) {
    case DashboardDetailContentPreference::permissionEducation:
        if (m_facePending)
            break;
        ensureEducationFace();
        m_faces->setCurrentWidget(m_educationFace);
        break;
    case DashboardDetailContentPreference::selectedLayout:
        m_faces->setCurrentWidget(m_layoutFace);
        scrollPosition = renderLayout();
        break;
    case DashboardDetailContentPreference::emptyState:
        if (m_facePending)
            break;
        ensureEmptyFace();
        m_faces->setCurrentWidget(m_emptyFace);
        break;
    }
    if (m_education) {
        m_education->setShowsSuccess(m_presenter->educationShowsSuccess());
        m_education->setHasOpenedSystemSettings(m_presenter->hasOpenedDashboardPermissionSettings());
    }
    if (m_save)
        m_save->setEnabled(!m_presenter->isActionLocked());
    if (m_emptyNote)
        m_emptyNote->setText(emptyNote());
    renderIssues();
    if (isVisible())
        layOutNow();
    // Once the page has its final height, which bounds the scroll bar.
    if (scrollPosition)
        static_cast<QScrollArea*>(m_layoutFace)->verticalScrollBar()->setValue(*scrollPosition);
}

void DashboardDetailView::layOutNow()
{
    // Laying a part out asks its container to lay out again, each time by a posted request: a
    // new preview, measured at its first width as a single column, turns into a row of cards
    // once it has the pane's width, and then its grid, the preview, the page and the scroll
    // area ask in turn. Left to the event loop, those requests would come after the window's
    // pending repaint (the list's new selection asked for it first), and the window would
    // show the new face with its lower parts at their old places and sizes. Each pass here
    // delivers what the one before posted to the pane's own widgets, until none is left.
    struct Deliveries final : QObject {
        int count = 0;
        Deliveries() { QCoreApplication::instance()->installEventFilter(this); }
        ~Deliveries() override { QCoreApplication::instance()->removeEventFilter(this); }
        bool eventFilter(QObject*, QEvent* event) override
        {
            count += event->type() == QEvent::LayoutRequest;
            return false;
        }
    } deliveries;
    // A bound well past the deepest chain of containers the pane has.
    for (int pass = 0; pass < 32; ++pass) {
        deliveries.count = 0;
        QCoreApplication::sendPostedEvents(this, QEvent::LayoutRequest);
        const auto widgets = findChildren<QWidget*>();
        std::vector<QPointer<QWidget>> parts(widgets.begin(), widgets.end());
        for (const QPointer<QWidget>& part : parts)
            if (part)
                QCoreApplication::sendPostedEvents(part, QEvent::LayoutRequest);
        if (!deliveries.count)
            return;
    }
}

void DashboardDetailView::renderIssues()
{
    auto issues = m_presenter->issues();
    if (issues == m_shownIssues)
        return;
    m_shownIssues = std::move(issues);
    for (auto* section : m_issueSections)
        fillIssueSection(section);
}

void DashboardDetailView::fillIssueSection(QVBoxLayout* section) const
{
    while (auto* item = section->takeAt(0)) {
        delete item->widget();
        delete item;
    }
    for (const auto& issue : m_shownIssues) {
        std::function<void()> action;
        std::optional<QString> actionTitle;
        if (issue.kind == DashboardDetailIssue::Kind::accessibilityRequired) {
            action = [this] { m_presenter->openPermissionsFromBanner(); };
            actionTitle = issue.actionTitle;
        }
        section->addWidget(new DashboardIssueBanner(issue.title, issue.message, issue.systemImage, tintOf(issue.kind),
                                                    actionTitle, action));
    }
    section->parentWidget()->setVisible(!m_shownIssues.empty());
}

int DashboardDetailView::renderLayout()
{
    // While the window is hidden the layout is not read: its list entry says all the header shows.
    const auto& snapshot = m_presenter->selectedSnapshot();
    const auto& summary = *m_presenter->selectedSummary();
    const QString& name = snapshot ? snapshot->name : summary.name;
    const bool locked = m_presenter->isActionLocked();
    const bool renaming = m_presenter->editingSnapshotID() == summary.id;

    // Disabling or hiding the focused control makes Qt pass the focus on, and the scroll area
    // then scrolls to whatever took it: a restore started from the action strip would jump
    // the pane down to the window list. The pane keeps its place; another layout starts at
    // the top. The focus leaves an action button that is about to be disabled for the pane's
    // page, which shows that it has it.
    auto* scrollBar = static_cast<QScrollArea*>(m_layoutFace)->verticalScrollBar();
    const bool otherLayout = m_shownLayoutID != summary.id;
    m_shownLayoutID = summary.id;
    const int scrollPosition = otherLayout ? 0 : scrollBar->value();
    if (locked)
        for (QWidget* button : {static_cast<QWidget*>(m_restore), static_cast<QWidget*>(m_update),
                                static_cast<QWidget*>(m_rename), static_cast<QWidget*>(m_delete)})
            if (button->hasFocus())
                m_layoutFace->setFocus(Qt::OtherFocusReason);

    // The name stands alone on its line: separators would draw it as overlapping lines.
    m_titleLabel->setText(separatorsAsSpaces(name));
    static_cast<DetailHeader*>(m_header)->arrange();
    m_titleLabel->setVisible(!renaming);
    if (renaming && m_titleField->text() != m_presenter->draftSnapshotName())
        m_titleField->setText(m_presenter->draftSnapshotName());
    m_titleField->setVisible(renaming);
    refreshRelativeDate();

    for (QWidget* button : {static_cast<QWidget*>(m_restore), static_cast<QWidget*>(m_update),
                            static_cast<QWidget*>(m_rename), static_cast<QWidget*>(m_delete)})
        button->setEnabled(!locked);

    const qsizetype counts[] = {summary.windowCount, summary.appCount, summary.displayCount};
    for (size_t i = 0; i < m_metricCards.size(); ++i)
        m_metricCards[i]->setValue(QString::number(counts[i]));

    DashboardHotkeyMetricCard::State state;
    state.summary = summary;
    state.isEditing = m_presenter->editingHotkeySnapshotID() == summary.id;
    state.captureError = m_presenter->hotkeyCaptureError();
    state.isActionDisabled = locked;
    m_hotkeyCard->setState(state);

    if (!snapshot) {
        m_shownSelectionRevision = m_presenter->selectionRevision();
        return scrollPosition;
    }
    renderLists();
    return scrollPosition;
}

void DashboardDetailView::renderLists()
{
    const auto& snapshot = *m_presenter->selectedSnapshot();
    const bool locked = m_presenter->isActionLocked();
    // The preview starts afresh for every layout shown; a reloaded layout keeps it. Both
    // lists are redrawn only when what they show was given anew, not on every status line.
    const bool selectionGiven = m_presenter->selectionRevision() != m_shownSelectionRevision;
    m_shownSelectionRevision = m_presenter->selectionRevision();
    if (!m_preview || m_preview->snapshot().id != snapshot.id) {
        delete m_preview;
        m_preview = new DashboardSnapshotPreviewView(snapshot, DashboardAppIdentityResolver::shared(),
                                                     m_presenter->actions().removeWindow,
                                                     m_presenter->actions().reorderWindows, m_previewSlot);
        m_previewSlot->layout()->addWidget(m_preview);
        // A layout shows a widget it takes in one turn later: the face would go out without it.
        m_preview->show();
    } else if (selectionGiven) {
        m_preview->setSnapshot(snapshot);
    }
    m_preview->setEditingEnabled(!locked);
    const auto& running = m_presenter->runningBundleIdentifiers();
    if (!m_inactiveApps) {
        m_inactiveApps = new DashboardInactiveAppsView(snapshot, DashboardAppIdentityResolver::shared(), running,
                                                       m_inactiveAppsSlot);
        m_inactiveAppsSlot->layout()->addWidget(m_inactiveApps);
        m_inactiveApps->show();
    } else if (selectionGiven || running != m_shownRunningApplications) {
        m_inactiveApps->update(snapshot, running);
    }
    m_shownRunningApplications = running;
}

void DashboardDetailView::releaseUntilShown()
{
    delete m_preview;
    m_preview = nullptr;
    delete m_inactiveApps;
    m_inactiveApps = nullptr;
    m_shownRunningApplications.clear();
    static_cast<QScrollArea*>(m_layoutFace)->verticalScrollBar()->setValue(0);
    m_presenter->cancelInlineRename();
}

void DashboardDetailView::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    m_presenter->appeared();
    // The window settles its selection as it is shown, after its panes.
    if (m_facesWait) {
        m_facesWait = false;
        if (m_facePending)
            QMetaObject::invokeMethod(this, &DashboardDetailView::showPendingFace, Qt::QueuedConnection);
    }
}

void DashboardDetailView::hideEvent(QHideEvent* event)
{
    QWidget::hideEvent(event);
    m_presenter->disappeared();
}

void DashboardDetailView::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(rect(), palette().color(QPalette::Window));
}

} // namespace zen
