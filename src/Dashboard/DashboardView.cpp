#include "Dashboard/DashboardView.h"

#include "Dashboard/DashboardDetailView.h"
#include "Dashboard/DashboardPreviewStyle.h"
#include "Dashboard/DashboardRowColors.h"
#include "Dashboard/DashboardRelativeDateFormatter.h"
#include "Dashboard/DashboardSnapshotListModel.h"
#include "Dashboard/DashboardSnapshotListView.h"
#include "Dashboard/DashboardSnapshotRowDelegate.h"
#include "Dashboard/SidebarActionButton.h"
#include "Dashboard/DashboardViewPresenter.h"
#include "Dashboard/DashboardWindowObserver.h"
#include "Dashboard/DashboardWindowRemovalConfirmationView.h"
#include "Dashboard/DashboardWindowSupport.h"
#include "Onboarding/TextStyle.h"
#include "Shared/UserDefaults.h"
#include "Updates/AppUpdateController.h"

#include <QAbstractItemDelegate>
#include <QApplication>
#include <QCloseEvent>
#include <QFrame>
#include <QGridLayout>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QPainter>
#include <QPushButton>
#include <QScopedValueRollback>
#include <QScreen>
#include <QScrollBar>
#include <QSplitter>
#include <QStackedWidget>
#include <QTimer>
#include <QVBoxLayout>

namespace zen {

namespace {

constexpr int sidebarMinimumWidth = 240;
constexpr int sidebarIdealWidth = 280;
constexpr int sidebarMaximumWidth = 360;
constexpr int alertMinimumWidth = 360;

QColor sidebarBackground(const QPalette& palette)
{
    return TextStyle::mixed(palette.color(QPalette::WindowText), palette.color(QPalette::Window), 0.045);
}

// One line between the side panel and the pane, instead of the style's dotted grip. Painted
// rather than styled: a style sheet would cut the window's palette off from everything below.
class DividerSplitter final : public QSplitter {
public:
    explicit DividerSplitter(QWidget* parent) : QSplitter(Qt::Horizontal, parent) {}

protected:
    QSplitterHandle* createHandle() override
    {
        class Line final : public QSplitterHandle {
        public:
            using QSplitterHandle::QSplitterHandle;

        protected:
            void paintEvent(QPaintEvent*) override
            {
                // The line along the side panel; the rest of the handle, the pane's colour, is
                // there to be grabbed.
                QPainter painter(this);
                painter.fillRect(rect(), palette().color(QPalette::Window));
                painter.fillRect(QRect(0, 0, 1, height()), TextStyle::mixed(palette().color(QPalette::WindowText),
                                                                           palette().color(QPalette::Window), 0.18));
            }
        };
        return new Line(orientation(), this);
    }
};

void centerOnPrimaryScreen(QWidget& window)
{
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        QRect frame(QPoint(), window.size());
        frame.moveCenter(screen->availableGeometry().center());
        window.move(frame.topLeft());
    }
}

} // namespace

DashboardView::SidebarFoot DashboardView::sidebarFoot(bool isUpdateAvailable, bool canCheckForUpdates)
{
    return {isUpdateAvailable, isUpdateAvailable && canCheckForUpdates, isUpdateAvailable ? 0 : 8};
}

DashboardView::DashboardView(Dependencies dependencies, QWidget* parent)
    : QMainWindow(parent)
    , m_dependencies(std::move(dependencies))
    , m_frameStore(m_dependencies.frameStore ? m_dependencies.frameStore : &UserDefaults::standard())
    , m_scheduler(m_dependencies.scheduler ? m_dependencies.scheduler : std::make_shared<QtOperationScheduler>())
{
    setWindowTitle(QStringLiteral("Zentharion"));
    setAttribute(Qt::WA_DeleteOnClose);
    setMinimumSize(DashboardWindowSupport::defaultSize());
    resize(DashboardWindowSupport::defaultSize());

    m_presenter = new DashboardViewPresenter(m_dependencies.bootstrapErrorMessage, m_dependencies.permissionRouter,
                                             m_dependencies.snapshotMenuController, {}, this);

    m_splitter = new DividerSplitter(this);
    m_splitter->setChildrenCollapsible(false);
    m_splitter->setHandleWidth(4);
    m_splitter->addWidget(buildSidebar());
    // The pane is made straight into the splitter: a stand-in made first and replaced would be
    // built, measured and thrown away on every first opening.
    DashboardDetailView::installIn(*this);
    m_splitter->setStretchFactor(0, 0);
    m_splitter->setStretchFactor(1, 1);
    m_splitter->setSizes({sidebarIdealWidth, DashboardWindowSupport::defaultSize().width() - sidebarIdealWidth});
    setCentralWidget(m_splitter);

    DashboardCommands::ApplicationActions application;
    application.openDashboard = m_dependencies.openDashboard;
    const std::weak_ptr<AppUpdateController> updates = m_dependencies.updateController;
    application.canCheckForUpdates = [updates] {
        const auto controller = updates.lock();
        return controller && controller->canCheckForUpdates();
    };
    application.checkForUpdates = [updates] {
        if (const auto controller = updates.lock())
            controller->checkForUpdates();
    };
    application.openSettings = m_dependencies.openSettings;
    application.quit = m_dependencies.quit ? m_dependencies.quit : std::function<void()>([] { QCoreApplication::quit(); });
    m_commands = new DashboardCommands(*menuBar(), std::move(application), [this] { return focusedCommandContext(); });

    if (!DashboardWindowSupport::configure(*this, *m_frameStore))
        centerOnPrimaryScreen(*this);
    m_observer = new DashboardWindowObserver(*this, m_dependencies.permissionRouter, *m_frameStore, m_scheduler);

    connect(m_presenter, &DashboardViewPresenter::changed, this, &DashboardView::render);
    connect(m_presenter, &DashboardViewPresenter::pendingUpdateChanged, this, &DashboardView::showUpdateConfirmation);
    connect(m_presenter, &DashboardViewPresenter::pendingDeletionChanged, this, &DashboardView::showDeleteConfirmation);
    connect(m_presenter, &DashboardViewPresenter::pendingWindowRemovalChanged, this,
            &DashboardView::showWindowRemovalSheet);
    connect(m_presenter, &DashboardViewPresenter::focusLayoutListRequested, this, &DashboardView::focusLayoutList);
    connect(m_presenter, &DashboardViewPresenter::newLayoutRevealRequested, this, &DashboardView::revealNewLayout);
    if (const auto& updatesController = m_dependencies.updateController) {
        connect(updatesController.get(), &AppUpdateController::availableUpdateChanged, this, &DashboardView::render);
        connect(updatesController.get(), &AppUpdateController::canCheckForUpdatesChanged, this, &DashboardView::render);
    }
    render();
}

DashboardView::~DashboardView()
{
    cancelDateRefresh();
}

QWidget* DashboardView::buildSidebar()
{
    m_sidebar = new QWidget(this);
    m_sidebar->setObjectName(QStringLiteral("sidebar"));
    // A side panel of its own shade, as file managers and settings windows have.
    QPalette sidebarPalette = palette();
    sidebarPalette.setColor(QPalette::Window, sidebarBackground(palette()));
    m_sidebar->setPalette(sidebarPalette);
    m_sidebar->setAutoFillBackground(true);
    m_sidebar->setMinimumWidth(sidebarMinimumWidth);
    m_sidebar->setMaximumWidth(sidebarMaximumWidth);
    auto* column = new QVBoxLayout(m_sidebar);
    column->setContentsMargins(0, 12, 0, 0);
    column->setSpacing(0);

    auto* title = plainLabel(QStringLiteral("Layouts"), m_sidebar);
    QFont titleFont = title->font();
    titleFont.setBold(true);
    title->setFont(titleFont);
    title->setContentsMargins(22, 0, 12, 8);
    column->addWidget(title);

    m_newLayoutButton = new SidebarActionButton(QStringLiteral("New Layout"), QStringLiteral("plus"), true, 0, 8,
                                                m_sidebar);
    connect(m_newLayoutButton, &QAbstractButton::clicked, this, [this] { m_presenter->saveSnapshot(); });
    column->addWidget(m_newLayoutButton);

    m_listStack = new QStackedWidget(m_sidebar);
    m_layoutList = new DashboardSnapshotListView(m_listStack);
    const QPointer<DashboardViewPresenter> presenter(m_presenter);
    m_layoutModel = new DashboardSnapshotListModel(
        [presenter](const QUuid& id, const QString& name) {
            return presenter && presenter->renameSnapshotInline(id, name);
        },
        m_dependencies.now, m_layoutList);
    m_layoutList->setModel(m_layoutModel);
    // Other rows in view may turn their dates sooner.
    connect(m_layoutList->verticalScrollBar(), &QScrollBar::valueChanged, this, [this] { scheduleDateRefresh(); });
    connect(m_layoutList->verticalScrollBar(), &QScrollBar::rangeChanged, this, [this] { scheduleDateRefresh(); });
    // The style's accent is too light under white text (about 3.5:1): the selection is
    // darkened until the selected row's text reads.
    QPalette listPalette = m_layoutList->palette();
    for (auto group : {QPalette::Active, QPalette::Inactive}) {
        QColor fill = listPalette.color(group, QPalette::Highlight);
        const QColor text = listPalette.color(group, QPalette::HighlightedText);
        for (int i = 0; i < 12 && TextStyle::contrastRatio(fill, text) < 4.8; ++i)
            fill = fill.darker(110);
        listPalette.setColor(group, QPalette::Highlight, fill);
    }
    m_layoutList->setPalette(listPalette);
    const auto selectCurrent = [this](const QModelIndex& current) {
        if (m_syncingSelection)
            return;
        m_presenter->selectSnapshot(current.isValid()
                                        ? std::optional(current.data(DashboardSnapshotListModel::IdRole).toUuid())
                                        : std::nullopt);
    };
    connect(m_layoutList->selectionModel(), &QItemSelectionModel::currentChanged, this, selectCurrent);
    const auto summaryAt = [this](int row) -> std::optional<SnapshotSummary> {
        const auto& summaries = m_layoutModel->summaries();
        if (row < 0 || row >= int(summaries.size()))
            return std::nullopt;
        return summaries[std::size_t(row)];
    };
    connect(m_layoutList, &DashboardSnapshotListView::deleteRequested, this, [this, summaryAt](int row) {
        if (const auto summary = summaryAt(row); summary && !m_presenter->isSnapshotActionDisabled())
            m_presenter->deleteSnapshot(*summary);
    });
    connect(m_layoutList, &DashboardSnapshotListView::restoreRequested, this, [this, summaryAt](int row) {
        const auto summary = summaryAt(row);
        if (!summary)
            return;
        // The presenter answers a restore that cannot start now.
        if (m_presenter->selectedSnapshotID() != summary->id)
            m_presenter->selectSnapshot(summary->id);
        m_presenter->restoreSelectedSnapshot();
    });
    const auto openMenu = [this](int row, const QPoint& at) {
        QMenu menu(this);
        fillActionsMenu(menu, row);
        menu.exec(at);
    };
    connect(m_layoutList, &DashboardSnapshotListView::menuRequested, this, openMenu);
    connect(m_layoutList->rowDelegate(), &DashboardSnapshotRowDelegate::actionsButtonClicked, this,
            [openMenu](const QModelIndex& index, const QPoint& at) { openMenu(index.row(), at); });
    m_emptyListLabel = plainLabel(QStringLiteral("No layouts saved yet"), m_listStack);
    m_emptyListLabel->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    m_emptyListLabel->setContentsMargins(12, 16, 12, 0);
    // A hint, fainter than the names, but still readable: the placeholder colour of most
    // themes falls short of 4.5:1 on the window background.
    QPalette hint = m_emptyListLabel->palette();
    for (const auto group : {QPalette::Active, QPalette::Inactive})
        hint.setColor(group, QPalette::WindowText,
                      DashboardRowColors::secondary(hint.color(group, QPalette::WindowText),
                                                    hint.color(group, QPalette::Window)));
    m_emptyListLabel->setPalette(hint);
    m_listStack->addWidget(m_layoutList);
    m_listStack->addWidget(m_emptyListLabel);
    column->addWidget(m_listStack, 1);

    auto* divider = new QFrame(m_sidebar);
    divider->setFrameShape(QFrame::HLine);
    divider->setFrameShadow(QFrame::Plain);
    divider->setForegroundRole(QPalette::Mid);
    column->addWidget(divider);

    m_updateButton = new SidebarActionButton(AvailableAppUpdate::actionTitle(), QStringLiteral("arrow.down.circle.fill"),
                                             true, 8, 0, m_sidebar);
    connect(m_updateButton, &QAbstractButton::clicked, this, [this] {
        if (m_dependencies.updateController)
            m_dependencies.updateController->checkForUpdates();
    });
    column->addWidget(m_updateButton);

    m_settingsButton = new SidebarActionButton(QStringLiteral("Settings"), QStringLiteral("gearshape"), false, 8, 12,
                                               m_sidebar);
    connect(m_settingsButton, &QAbstractButton::clicked, this, [this] {
        if (m_dependencies.openSettings)
            m_dependencies.openSettings();
    });
    column->addWidget(m_settingsButton);
    return m_sidebar;
}

std::optional<DashboardCommandContext> DashboardView::focusedCommandContext()
{
    if (!isActiveWindow())
        return std::nullopt;
    return m_presenter->commandContext();
}

void DashboardView::setDetailPane(QWidget* pane)
{
    // Made as the splitter's child, the pane is in it already.
    m_detailPane = pane;
}

void DashboardView::fillActionsMenu(QMenu& menu, int row)
{
    const auto& summaries = m_layoutModel->summaries();
    if (row < 0 || row >= int(summaries.size()))
        return;
    const SnapshotSummary summary = summaries[std::size_t(row)];
    const bool enabled = !m_presenter->isSnapshotActionDisabled();
    // Each action runs only while this window, and the presenter it owns, exist.
    const auto add = [&](const QString& title, std::function<void()> run) {
        QAction* action = menu.addAction(title);
        action->setEnabled(enabled);
        connect(action, &QAction::triggered, this, std::move(run));
        return action;
    };
    add(QStringLiteral("Rename"), [this, id = summary.id] {
        beginInlineRename(m_layoutModel->rowOf(id));
    })->setShortcut(QKeySequence(Qt::Key_F2));
    const bool hasHotkey = summary.hotkey.has_value();
    add(hasHotkey ? QStringLiteral("Change Hotkey") : QStringLiteral("Set Hotkey"),
        [this, summary] { m_presenter->assignHotkey(summary); });
    if (hasHotkey)
        add(QStringLiteral("Clear Hotkey"), [this, summary] { m_presenter->clearHotkey(summary); });
    menu.addSeparator();
    QAction* remove = add(QStringLiteral("Delete"), [this, summary] { m_presenter->deleteSnapshot(summary); });
    remove->setIcon(SidebarActionButton::symbol(QStringLiteral("trash")));
    remove->setShortcut(QKeySequence(Qt::Key_Delete));
}

void DashboardView::beginInlineRename(int row)
{
    if (m_presenter->isSnapshotActionDisabled() || row < 0 || row >= m_layoutList->count())
        return;
    const QModelIndex index = m_layoutModel->index(row, 0);
    m_layoutList->setCurrentIndex(index);
    m_layoutList->edit(index);
}

// MARK: Rendering

void DashboardView::render()
{
    const bool locked = m_presenter->isSnapshotActionDisabled();
    m_newLayoutButton->setEnabled(!locked);
    renderRows();
    renderSelection();
    renderSidebarFoot();
    m_commands->refresh();
    scheduleDateRefresh();
}

void DashboardView::renderRows()
{
    const auto& summaries = m_presenter->snapshotSummaries();
    m_listStack->setCurrentWidget(summaries.empty() ? static_cast<QWidget*>(m_emptyListLabel) : m_layoutList);
    const QScopedValueRollback syncing(m_syncingSelection, true);
    m_layoutModel->setActionDisabled(m_presenter->isSnapshotActionDisabled());
    m_layoutModel->setSummaries(summaries);
}

void DashboardView::renderSelection()
{
    const QScopedValueRollback syncing(m_syncingSelection, true);
    const auto& selected = m_presenter->selectedSnapshotID();
    const int row = selected ? m_layoutModel->rowOf(*selected) : -1;
    if (m_layoutList->currentRow() != row)
        m_layoutList->setCurrentRow(row);
}

void DashboardView::renderSidebarFoot()
{
    const auto& updates = m_dependencies.updateController;
    const SidebarFoot foot = sidebarFoot(updates && updates->availableUpdate().has_value(),
                                         updates && updates->canCheckForUpdates());
    m_updateButton->setVisible(foot.showsUpdateAvailable);
    m_updateButton->setEnabled(foot.updateAvailableEnabled);
    m_settingsButton->setTopPadding(foot.settingsTopPadding);
    m_settingsButton->setEnabled(bool(m_dependencies.openSettings));
}

void DashboardView::focusLayoutList()
{
    // After the event that asked has been handled, so the list is in place.
    QTimer::singleShot(0, m_layoutList, [list = m_layoutList] { list->setFocus(Qt::OtherFocusReason); });
}

void DashboardView::revealNewLayout(const QUuid& id)
{
    QTimer::singleShot(0, m_layoutList, [list = m_layoutList, id] {
        list->setFocus(Qt::OtherFocusReason);
        if (const auto* model = list->snapshotModel())
            list->revealRow(model->rowOf(id));
    });
}

// MARK: Confirmations

void DashboardView::showUpdateConfirmation()
{
    showAlert(m_updateAlert, m_presenter->pendingUpdate().has_value(), QStringLiteral("Update Layout?"),
              m_presenter->updateConfirmationMessage(), QStringLiteral("Update"), &DashboardViewPresenter::confirmUpdate,
              &DashboardViewPresenter::cancelUpdate);
}

void DashboardView::showDeleteConfirmation()
{
    showAlert(m_deleteAlert, m_presenter->pendingDeletion().has_value(), QStringLiteral("Delete Layout?"),
              m_presenter->deleteConfirmationMessage(), QStringLiteral("Delete"),
              &DashboardViewPresenter::confirmDeletion, &DashboardViewPresenter::cancelDeletion);
}

void DashboardView::showAlert(QPointer<QMessageBox>& alert, bool pending, const QString& title, const QString& message,
                              const QString& confirmTitle, Answer confirm, Answer cancel)
{
    if (!pending) {
        if (alert) {
            // Withdrawn (its layout is gone): close without answering.
            alert->disconnect(this);
            alert->close();
        }
        return;
    }
    if (alert) {
        alert->setInformativeText(message);
        return;
    }
    auto* box = new QMessageBox(this);
    alert = box;
    box->setAttribute(Qt::WA_DeleteOnClose);
    // Window-modal turns the box into a sheet, which resets its window flags.
    box->setWindowModality(Qt::WindowModal);
    DashboardWindowSupport::makeConfirmation(*box);
    box->setWindowTitle(title);
    box->setTextFormat(Qt::PlainText);
    box->setText(title);
    box->setInformativeText(message);
    // The message holds a layout name: every label shows it as typed, never as markup.
    for (QLabel* label : box->findChildren<QLabel*>())
        label->setTextFormat(Qt::PlainText);
    // The question stands out above its explanation, as alerts on every desktop do.
    if (auto* question = box->findChild<QLabel*>(QStringLiteral("qt_msgbox_label"))) {
        QFont font = question->font();
        font.setBold(true);
        question->setFont(font);
    }
    // QMessageBox fixes its width to its short question: the explanation would wrap into a
    // narrow column and the window manager would cut the title. A spacer across the grid is
    // the width it may not go below.
    if (auto* grid = qobject_cast<QGridLayout*>(box->layout()))
        grid->addItem(new QSpacerItem(alertMinimumWidth, 0, QSizePolicy::Minimum, QSizePolicy::Fixed),
                      grid->rowCount(), 0, 1, grid->columnCount());
    QPushButton* cancelButton = box->addButton(QStringLiteral("Cancel"), QMessageBox::RejectRole);
    QPushButton* confirmButton = box->addButton(confirmTitle, QMessageBox::DestructiveRole);
    box->setDefaultButton(cancelButton);
    box->setEscapeButton(cancelButton);
    const QPointer<DashboardViewPresenter> presenter(m_presenter);
    connect(box, &QMessageBox::finished, this, [&alert, box, confirmButton, presenter, confirm, cancel] {
        // Answered: the presenter's withdrawal that follows finds no box left to close.
        alert = nullptr;
        // Dismissed without an answer (closed with the window) counts as Cancel.
        if (presenter)
            (presenter->*(box->clickedButton() == confirmButton ? confirm : cancel))();
    });
    box->open();
}

void DashboardView::showWindowRemovalSheet()
{
    if (m_removalSheet) {
        // The sheet shows one request; a new one replaces it, a withdrawn one closes it.
        m_removalSheet->hide();
        m_removalSheet->deleteLater();
        m_removalSheet = nullptr;
    }
    const auto& pending = m_presenter->pendingWindowRemoval();
    if (!pending)
        return;
    const QPointer<DashboardViewPresenter> presenter(m_presenter);
    m_removalSheet = new DashboardWindowRemovalConfirmationView(
        *pending,
        [presenter] {
            if (presenter)
                presenter->cancelWindowRemoval();
        },
        [presenter] {
            if (presenter)
                presenter->confirmWindowRemoval();
        },
        this);
    DashboardWindowSupport::makeConfirmation(*m_removalSheet);
    m_removalSheet->open();
}

// MARK: Window events

void DashboardView::showEvent(QShowEvent* event)
{
    QMainWindow::showEvent(event);
    // Shown again after a while: the dates catch up at once, then follow the minutes.
    refreshRelativeDates();
    if (!m_appeared) {
        m_appeared = true;
        // Shown again after it was closed: it opens as a new window would, on the first layout
        // with the list at the top.
        if (std::exchange(m_appearedBefore, true)) {
            // Where it was closed, or on a screen still there if that one went meanwhile.
            DashboardWindowSupport::configure(*this, *m_frameStore);
            m_layoutList->scrollToTop();
            m_presenter->reappear();
        } else {
            m_presenter->appear();
        }
    }
}

void DashboardView::closeEvent(QCloseEvent* event)
{
    QMainWindow::closeEvent(event);
    if (!event->isAccepted())
        return;
    // A window kept for the next opening forgets what a new one would not know: the questions
    // it was asking, and the parts it makes again when it is shown.
    m_appeared = false;
    // A rename left unfinished is dropped, not stored by the focus leaving its field.
    if (QWidget* editor = m_layoutList->renameEditor())
        QMetaObject::invokeMethod(m_layoutList, "closeEditor", Q_ARG(QWidget*, editor),
                                  Q_ARG(QAbstractItemDelegate::EndEditHint, QAbstractItemDelegate::NoHint));
    m_presenter->cancelUpdate();
    m_presenter->cancelDeletion();
    m_presenter->cancelWindowRemoval();
    m_presenter->disappear();
    if (auto* detail = qobject_cast<DashboardDetailView*>(m_detailPane))
        detail->releaseUntilShown();
    // Closed by the person (the window manager's close): a kept window is hidden rather than
    // closed, which would give up its X window too, so showing it again only maps it. Any
    // other close goes through: quitting the program closes every window first, and stops at
    // one that refuses.
    if (event->spontaneous() && !testAttribute(Qt::WA_DeleteOnClose)) {
        event->ignore();
        hide();
    }
}

void DashboardView::hideEvent(QHideEvent* event)
{
    QMainWindow::hideEvent(event);
    cancelDateRefresh();
}

// MARK: Relative dates

void DashboardView::scheduleDateRefresh()
{
    if (!isVisible()) {
        cancelDateRefresh();
        return;
    }
    // Only a phrase on screen changing is worth waking for: the rows in view and the selected
    // layout's header. Rows out of view read their date afresh when they scroll in.
    const QDateTime now = m_dependencies.now ? m_dependencies.now() : QDateTime::currentDateTime();
    std::optional<QDateTime> next;
    const auto consider = [&](const QDateTime& updatedAt) {
        const QDateTime change = DashboardRelativeDateFormatter::nextChange(updatedAt, now);
        if (!next || change < *next)
            next = change;
    };
    const auto& summaries = m_presenter->snapshotSummaries();
    if (m_listStack->currentWidget() == m_layoutList && !summaries.empty()) {
        const QRect shown = m_layoutList->viewport()->rect();
        const QModelIndex first = m_layoutList->indexAt(shown.topLeft());
        const QModelIndex last = m_layoutList->indexAt(shown.bottomLeft());
        const int from = first.isValid() ? first.row() : 0;
        const int to = last.isValid() ? last.row() : int(summaries.size()) - 1;
        for (int row = from; row <= to && row < int(summaries.size()); ++row)
            consider(summaries[std::size_t(row)].updatedAt);
    }
    if (const auto selected = m_presenter->selectedSummary())
        consider(selected->updatedAt);
    // Already waiting for that moment (a scroll that kept the same dates in view): nothing to do.
    if (next && m_dateRefresh && m_nextDateChange == *next)
        return;
    cancelDateRefresh();
    if (!next)
        return;
    m_nextDateChange = *next;
    const QPointer<DashboardView> self(this);
    // Just after the turn, so that every phrase read then is the new one.
    m_dateRefresh = m_scheduler->runAfter(std::chrono::milliseconds(std::max<qint64>(0, now.msecsTo(*next)) + 1), [self] {
        if (!self)
            return;
        self->m_dateRefresh.reset();
        const QDateTime at = self->m_dependencies.now ? self->m_dependencies.now() : QDateTime::currentDateTime();
        // A timer cut short (the longest wait a timer takes is some 24 days) only waits again.
        if (at < self->m_nextDateChange)
            self->scheduleDateRefresh();
        else
            self->refreshRelativeDates();
    });
}

void DashboardView::cancelDateRefresh()
{
    if (m_dateRefresh)
        m_dateRefresh->cancel();
    m_dateRefresh.reset();
}

void DashboardView::refreshRelativeDates()
{
    cancelDateRefresh();
    m_layoutModel->refreshDates();
    if (auto* detail = qobject_cast<DashboardDetailView*>(m_detailPane))
        detail->refreshRelativeDate();
    scheduleDateRefresh();
}

void DashboardView::changeEvent(QEvent* event)
{
    QMainWindow::changeEvent(event);
    if (event->type() == QEvent::ActivationChange)
        m_commands->refresh();
}

} // namespace zen
