#include "Dashboard/DashboardDisplayWindowList.h"

#include "Dashboard/DashboardAppIdentityResolver.h"
#include "Dashboard/DashboardPreviewStyle.h"
#include "Dashboard/DashboardSnapshotPresentation.h"
#include "Shared/AnimationPolicy.h"
#include "Shared/Uuid.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QAction>
#include <QApplication>
#include <QContextMenuEvent>
#include <QDrag>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QEasingCurve>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QPaintEvent>
#include <QPointer>
#include <QSet>
#include <QToolTip>
#include <QVariantAnimation>
#include <QWindow>

#include <algorithm>
#include <utility>
#include <cmath>

namespace zen {

namespace {

using Row = DashboardDisplayWindowRow;

int rowPitch()
{
    return Row::height() + DashboardDisplayWindowList::rowSpacing;
}

// One row for assistive technology: its name and the two move actions the row offers instead
// of dragging.
class RowAccessible : public QAccessibleInterface, public QAccessibleActionInterface {
public:
    RowAccessible(DashboardDisplayWindowList* list, const QUuid& windowID) : m_list(list), m_windowID(windowID) {}

    int index() const { return m_list ? m_list->indexOfWindow(m_windowID) : -1; }
    bool isValid() const override { return index() >= 0; }
    QObject* object() const override { return nullptr; }
    QWindow* window() const override { return m_list ? m_list->window()->windowHandle() : nullptr; }
    QAccessibleInterface* parent() const override
    {
        return m_list ? QAccessible::queryAccessibleInterface(m_list) : nullptr;
    }
    QAccessibleInterface* child(int) const override { return nullptr; }
    QAccessibleInterface* childAt(int, int) const override { return nullptr; }
    int childCount() const override { return 0; }
    int indexOfChild(const QAccessibleInterface*) const override { return -1; }
    QString text(QAccessible::Text t) const override
    {
        const int i = index();
        if (i < 0)
            return {};
        if (t == QAccessible::Name)
            return m_list->rows()[std::size_t(i)].accessibleName();
        if (t == QAccessible::Description)
            return DashboardDisplayWindowRow::toolTip();
        return {};
    }
    void setText(QAccessible::Text, const QString&) override {}
    QRect rect() const override
    {
        const int i = index();
        if (i < 0)
            return {};
        const QRect local = m_list->rowRect(i);
        return QRect(m_list->mapToGlobal(local.topLeft()), local.size());
    }
    QAccessible::Role role() const override { return QAccessible::ListItem; }
    QAccessible::State state() const override
    {
        QAccessible::State s;
        s.focusable = true;
        s.selectable = true;
        const int i = index();
        s.focused = i >= 0 && m_list->hasFocus() && m_list->currentRow() == i;
        s.selected = i >= 0 && m_list->currentRow() == i;
        return s;
    }
    void* interface_cast(QAccessible::InterfaceType type) override
    {
        return type == QAccessible::ActionInterface ? static_cast<QAccessibleActionInterface*>(this) : nullptr;
    }

    QStringList actionNames() const override
    {
        QStringList names;
        const int i = index();
        if (i < 0 || !m_list->isEditingEnabled())
            return names;
        names << Row::moveEarlierTitle() << Row::moveLaterTitle();
        return names;
    }
    void doAction(const QString& name) override
    {
        if (!isValid())
            return;
        if (name == Row::moveEarlierTitle())
            m_list->moveWindow(m_windowID, -1);
        else if (name == Row::moveLaterTitle())
            m_list->moveWindow(m_windowID, +1);
    }
    QStringList keyBindingsForAction(const QString& name) const override
    {
        if (name == Row::moveEarlierTitle())
            return {QKeySequence(Qt::ALT | Qt::Key_Up).toString(QKeySequence::NativeText)};
        if (name == Row::moveLaterTitle())
            return {QKeySequence(Qt::ALT | Qt::Key_Down).toString(QKeySequence::NativeText)};
        return {};
    }

private:
    QPointer<DashboardDisplayWindowList> m_list;
    QUuid m_windowID;
};

} // namespace

// The list as assistive technology sees it: one item per row, in the order shown.
class DashboardDisplayWindowListAccessible : public QAccessibleWidget {
public:
    explicit DashboardDisplayWindowListAccessible(DashboardDisplayWindowList* list)
        : QAccessibleWidget(list, QAccessible::List)
    {
    }
    DashboardDisplayWindowList* list() const { return static_cast<DashboardDisplayWindowList*>(widget()); }

    int childCount() const override { return int(list()->rows().size()); }
    QAccessibleInterface* child(int index) const override
    {
        const auto& rows = list()->rows();
        if (index < 0 || index >= int(rows.size()))
            return nullptr;
        const QUuid id = rows[std::size_t(index)].window().id;
        auto& cache = list()->m_accessibleRows;
        if (const auto found = cache.constFind(id); found != cache.constEnd())
            return QAccessible::accessibleInterface(*found);
        const QAccessible::Id handle = QAccessible::registerAccessibleInterface(new RowAccessible(list(), id));
        cache.insert(id, handle);
        return QAccessible::accessibleInterface(handle);
    }
    int indexOfChild(const QAccessibleInterface* child) const override
    {
        const auto* row = dynamic_cast<const RowAccessible*>(child);
        return row ? row->index() : -1;
    }
    QAccessibleInterface* focusChild() const override
    {
        return list()->hasFocus() && list()->currentRow() >= 0 ? child(list()->currentRow()) : nullptr;
    }
    QAccessibleInterface* childAt(int x, int y) const override
    {
        return child(list()->rowAt(list()->mapFromGlobal(QPoint(x, y))));
    }
};

namespace {

QAccessibleInterface* listAccessibleFactory(const QString& className, QObject* object)
{
    if (className == QLatin1String("zen::DashboardDisplayWindowList") && object && object->isWidgetType())
        return new DashboardDisplayWindowListAccessible(static_cast<DashboardDisplayWindowList*>(object));
    return nullptr;
}

} // namespace

DashboardDisplayWindowList::DashboardDisplayWindowList(std::uint32_t displayID, std::vector<WindowRecord> windows,
                                                       DashboardAppIdentityResolver& appIdentityResolver,
                                                       RemoveWindow removeWindow, ReorderWindows reorderWindows,
                                                       QWidget* parent)
    : QWidget(parent)
    , m_displayID(displayID)
    , m_windows(std::move(windows))
    , m_resolver(appIdentityResolver)
    , m_removeWindow(std::move(removeWindow))
    , m_reorderWindows(std::move(reorderWindows))
{
    static const bool factoryInstalled = [] {
        QAccessible::installFactory(listAccessibleFactory);
        return true;
    }();
    (void)factoryInstalled;

    setAcceptDrops(true);
    setFocusPolicy(Qt::StrongFocus);
    setMouseTracking(true);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    setAccessibleName(QStringLiteral("Restore order"));

    const auto addMoveKey = [this](const QKeySequence& keys, int offset) {
        auto* action = new QAction(this);
        action->setShortcut(keys);
        action->setShortcutContext(Qt::WidgetShortcut);
        connect(action, &QAction::triggered, this, [this, offset] { moveCurrent(offset); });
        addAction(action);
    };
    addMoveKey(QKeySequence(Qt::ALT | Qt::Key_Up), -1);
    addMoveKey(QKeySequence(Qt::ALT | Qt::Key_Down), +1);

    m_reorderAnimation = new QVariantAnimation(this);
    m_reorderAnimation->setDuration(reorderAnimationMilliseconds);
    m_reorderAnimation->setStartValue(0.0);
    m_reorderAnimation->setEndValue(1.0);
    // A short spring: the rows overshoot their places a little and settle.
    QEasingCurve spring(QEasingCurve::OutBack);
    spring.setOvershoot(1.2);
    m_reorderAnimation->setEasingCurve(spring);
    connect(m_reorderAnimation, &QVariantAnimation::valueChanged, this, [this] { update(); });
    connect(m_reorderAnimation, &QVariantAnimation::finished, this, [this] {
        m_startTops.clear();
        update();
    });
    synchronizeOrder();
}

DashboardDisplayWindowList::~DashboardDisplayWindowList()
{
    for (const unsigned handle : std::as_const(m_accessibleRows))
        QAccessible::deleteAccessibleInterface(handle);
}

void DashboardDisplayWindowList::setWindows(std::vector<WindowRecord> windows)
{
    const bool changed = !std::ranges::equal(windows, m_windows, [](const WindowRecord& a, const WindowRecord& b) {
        return a.id == b.id && a.zOrderHint == b.zOrderHint;
    });
    const std::optional<QUuid> current = currentWindowID();
    // The rows refer to the records being replaced.
    m_rows.clear();
    m_windows = std::move(windows);
    if (changed)
        synchronizeOrder(current);
    else
        rebuildRows(displayOrder(), current);
}

std::vector<std::size_t> DashboardDisplayWindowList::displayOrder() const
{
    // Ids are unique within a layout; should two windows share one anyway, the first is kept.
    QHash<QUuid, std::size_t> byID;
    byID.reserve(qsizetype(m_windows.size()));
    for (std::size_t i = 0; i < m_windows.size(); ++i)
        byID.insert(m_windows[i].id, byID.value(m_windows[i].id, i));

    const QSet<QUuid> local(m_orderedWindowIDs.begin(), m_orderedWindowIDs.end());
    const QSet<QUuid> current(byID.keyBegin(), byID.keyEnd());
    if (m_orderedWindowIDs.size() == m_windows.size() && local == current) {
        std::vector<std::size_t> order;
        order.reserve(m_orderedWindowIDs.size());
        for (const QUuid& id : m_orderedWindowIDs)
            order.push_back(byID.value(id));
        return order;
    }
    return DashboardSnapshotPresentation::restoreOrder(m_windows);
}

std::vector<QUuid> DashboardDisplayWindowList::displayOrderedIDs() const
{
    std::vector<QUuid> ids;
    for (const std::size_t i : displayOrder())
        ids.push_back(m_windows[i].id);
    return ids;
}

std::optional<QUuid> DashboardDisplayWindowList::currentWindowID() const
{
    if (m_currentRow >= 0 && m_currentRow < int(m_rows.size()))
        return m_rows[std::size_t(m_currentRow)].window().id;
    return std::nullopt;
}

void DashboardDisplayWindowList::synchronizeOrder()
{
    synchronizeOrder(currentWindowID());
}

void DashboardDisplayWindowList::synchronizeOrder(const std::optional<QUuid>& current)
{
    const std::vector<std::size_t> order = DashboardSnapshotPresentation::restoreOrder(m_windows);
    m_orderedWindowIDs.clear();
    m_orderedWindowIDs.reserve(order.size());
    for (const std::size_t i : order)
        m_orderedWindowIDs.push_back(m_windows[i].id);
    rebuildRows(order, current);
}

bool DashboardDisplayWindowList::commitOrder(const std::vector<QUuid>& orderedWindowIDs)
{
    if (!m_editingEnabled || !m_reorderWindows)
        return false;
    const bool stored = m_reorderWindows(m_displayID, orderedWindowIDs);
    if (!stored)
        return false;
    // Where each window was drawn, so the rows can glide from there.
    QHash<QUuid, int> oldTops;
    oldTops.reserve(qsizetype(m_rows.size()));
    for (int i = 0; i < int(m_rows.size()); ++i)
        oldTops.insert(m_rows[std::size_t(i)].window().id, animatedRowRect(i).top());
    const std::optional<QUuid> current = currentWindowID();
    m_orderedWindowIDs = orderedWindowIDs;
    rebuildRows(displayOrder(), current);
    m_reorderAnimation->stop();
    m_startTops.clear();
    if (animationsEnabled() && isVisible()) {
        m_startTops.reserve(m_rows.size());
        for (int i = 0; i < int(m_rows.size()); ++i)
            m_startTops.push_back(oldTops.value(m_rows[std::size_t(i)].window().id, rowRect(i).top()));
        m_reorderAnimation->start();
    }
    return true;
}

void DashboardDisplayWindowList::moveWindow(const QUuid& windowID, int offset)
{
    std::vector<QUuid> ids = displayOrderedIDs();
    const auto found = std::find(ids.begin(), ids.end(), windowID);
    const std::ptrdiff_t target = (found - ids.begin()) + offset;
    if (found == ids.end() || target < 0 || target >= std::ssize(ids))
        return;
    std::swap(*found, ids[std::size_t(target)]);
    commitOrder(ids);
}

bool DashboardDisplayWindowList::moveWindow(const QUuid& draggedID, const QUuid& targetID)
{
    if (draggedID == targetID)
        return false;
    std::vector<QUuid> ids = displayOrderedIDs();
    const auto dragged = std::find(ids.begin(), ids.end(), draggedID);
    const auto target = std::find(ids.begin(), ids.end(), targetID);
    if (dragged == ids.end() || target == ids.end())
        return false;
    const auto targetIndex = static_cast<std::size_t>(target - ids.begin());
    ids.erase(dragged);
    ids.insert(ids.begin() + static_cast<std::ptrdiff_t>(std::min(targetIndex, ids.size())), draggedID);
    return commitOrder(ids);
}

bool DashboardDisplayWindowList::dropPayload(const QString& payload, const QUuid& targetID)
{
    const std::optional<QUuid> dragged = parseUuidStrict(payload);
    if (!dragged)
        return false;
    return moveWindow(*dragged, targetID);
}

void DashboardDisplayWindowList::setEditingEnabled(bool enabled)
{
    m_editingEnabled = enabled;
    setAcceptDrops(enabled);
    update();
}

void DashboardDisplayWindowList::rebuildRows(const std::vector<std::size_t>& order, const std::optional<QUuid>& current)
{
    m_rows.clear();
    m_rows.reserve(order.size());
    // Windows of one application come in runs: ask the resolver once per run.
    const QString* lastApplication = nullptr;
    DashboardAppIdentity identity;
    for (const std::size_t i : order) {
        const WindowRecord& window = m_windows[i];
        if (!lastApplication || *lastApplication != window.bundleIdentifier) {
            identity = m_resolver.identity(window.bundleIdentifier);
            lastApplication = &window.bundleIdentifier;
        }
        m_rows.emplace_back(window, identity);
    }
    // Keyboard users keep their place: the current window stays current wherever it went.
    m_currentRow = current ? indexOfWindow(*current) : -1;
    m_hoveredRemove = -1;
    m_pressedRow = -1;
    m_pressedRemove = -1;

    if (!m_accessibleRows.isEmpty()) {
        QSet<QUuid> listed;
        listed.reserve(qsizetype(m_rows.size()));
        for (const Row& row : m_rows)
            listed.insert(row.window().id);
        for (auto it = m_accessibleRows.begin(); it != m_accessibleRows.end();) {
            if (listed.contains(it.key())) {
                ++it;
            } else {
                QAccessible::deleteAccessibleInterface(*it);
                it = m_accessibleRows.erase(it);
            }
        }
    }
    updateGeometry();
    update();
}

int DashboardDisplayWindowList::indexOfWindow(const QUuid& windowID) const
{
    for (int i = 0; i < int(m_rows.size()); ++i)
        if (m_rows[std::size_t(i)].window().id == windowID)
            return i;
    return -1;
}

QRect DashboardDisplayWindowList::rowRect(int index) const
{
    return QRect(0, topPadding + index * rowPitch(), width(), Row::height());
}

QRect DashboardDisplayWindowList::animatedRowRect(int index) const
{
    QRect rect = rowRect(index);
    if (m_reorderAnimation->state() == QAbstractAnimation::Running && index < int(m_startTops.size())) {
        const double progress = m_reorderAnimation->currentValue().toDouble();
        const int start = m_startTops[std::size_t(index)];
        rect.moveTop(int(std::lround(start + (rect.top() - start) * progress)));
    }
    return rect;
}

int DashboardDisplayWindowList::rowAt(const QPoint& position) const
{
    if (position.y() < topPadding || position.x() < 0 || position.x() >= width())
        return -1;
    const int index = (position.y() - topPadding) / rowPitch();
    if (index >= int(m_rows.size()) || !rowRect(index).contains(position))
        return -1;
    return index;
}

void DashboardDisplayWindowList::setCurrentRow(int index)
{
    const int bounded = index >= 0 && index < int(m_rows.size()) ? index : -1;
    if (bounded == m_currentRow)
        return;
    m_currentRow = bounded;
    update();
    if (bounded >= 0 && hasFocus() && QAccessible::isActive()) {
        QAccessibleEvent focus(this, QAccessible::Focus);
        focus.setChild(bounded);
        QAccessible::updateAccessibility(&focus);
    }
}

bool DashboardDisplayWindowList::showsFocusFrame() const
{
    return hasFocus() && m_keyboardFocus && m_currentRow >= 0;
}

QSize DashboardDisplayWindowList::sizeHint() const
{
    const int count = int(m_rows.size());
    return QSize(Row::preferredWidth(), count == 0 ? 0 : topPadding + count * rowPitch() - rowSpacing);
}

QSize DashboardDisplayWindowList::minimumSizeHint() const
{
    return QSize(Row::minimumWidth(), sizeHint().height());
}

void DashboardDisplayWindowList::fillContextMenu(QMenu& menu, int index)
{
    if (index < 0 || index >= int(m_rows.size()))
        return;
    const QUuid id = m_rows[std::size_t(index)].window().id;
    // The actions call back only while this list exists.
    QAction* earlier = menu.addAction(Row::moveEarlierTitle(), this, [this, id] { moveWindow(id, -1); });
    earlier->setShortcut(QKeySequence(Qt::ALT | Qt::Key_Up));
    earlier->setEnabled(m_editingEnabled && index > 0);
    QAction* later = menu.addAction(Row::moveLaterTitle(), this, [this, id] { moveWindow(id, +1); });
    later->setShortcut(QKeySequence(Qt::ALT | Qt::Key_Down));
    later->setEnabled(m_editingEnabled && index + 1 < int(m_rows.size()));
    menu.addSeparator();
    QAction* remove = menu.addAction(Row::removeTitle(), this, [this, id] { removeAt(indexOfWindow(id)); });
    remove->setEnabled(m_editingEnabled && bool(m_removeWindow));
}

QMimeData* DashboardDisplayWindowList::dragPayload(int index) const
{
    auto* data = new QMimeData;
    if (index >= 0 && index < int(m_rows.size()))
        data->setText(uuidText(m_rows[std::size_t(index)].window().id));
    return data;
}

void DashboardDisplayWindowList::moveCurrent(int offset)
{
    if (m_currentRow < 0 || m_currentRow >= int(m_rows.size()))
        return;
    m_keyboardFocus = true;
    moveWindow(m_rows[std::size_t(m_currentRow)].window().id, offset);
}

void DashboardDisplayWindowList::removeAt(int index)
{
    if (!m_editingEnabled || !m_removeWindow || index < 0 || index >= int(m_rows.size()))
        return;
    // A copy: the dashboard may reload the layout, and these rows with it, before returning.
    const WindowRecord window = m_rows[std::size_t(index)].window();
    m_removeWindow(window);
}

// MARK: Events

bool DashboardDisplayWindowList::event(QEvent* event)
{
    if (event->type() == QEvent::ToolTip) {
        auto* help = static_cast<QHelpEvent*>(event);
        const int index = rowAt(help->pos());
        if (index < 0) {
            QToolTip::hideText();
            event->ignore();
            return true;
        }
        const QRect row = rowRect(index);
        const QRect button = Row::removeButtonRect(row);
        if (button.contains(help->pos()))
            QToolTip::showText(help->globalPos(), Row::removeTitle(), this, button);
        else
            QToolTip::showText(help->globalPos(), Row::toolTip(), this, row);
        return true;
    }
    return QWidget::event(event);
}

void DashboardDisplayWindowList::paintEvent(QPaintEvent* event)
{
    if (m_rows.empty())
        return;
    QPainter p(this);
    const QRect exposed = event->rect();
    const QColor background = DashboardPreviewStyle::underPageBackground(palette());
    const bool animating = m_reorderAnimation->state() == QAbstractAnimation::Running;
    // Only the rows in sight: a layout may hold thousands.
    int first = 0;
    int last = int(m_rows.size()) - 1;
    if (!animating) {
        first = std::clamp((exposed.top() - topPadding) / rowPitch(), 0, last);
        last = std::clamp((exposed.bottom() - topPadding) / rowPitch(), first, last);
    }
    const qreal dpr = devicePixelRatioF();
    const bool focusFrame = showsFocusFrame();
    for (int i = first; i <= last; ++i) {
        const QRect row = animatedRowRect(i);
        if (!row.intersects(exposed))
            continue;
        Row::PaintState state;
        state.focused = focusFrame && i == m_currentRow;
        state.removeHovered = i == m_hoveredRemove;
        state.editingEnabled = m_editingEnabled;
        m_rows[std::size_t(i)].paint(p, row, palette(), background, state, dpr);
    }
    if (m_landingIndex) {
        // Where the dragged row will land: a line in the gap before that place.
        const int y = *m_landingIndex < int(m_rows.size())
                          ? rowRect(*m_landingIndex).top() - (rowSpacing + 1) / 2
                          : rowRect(int(m_rows.size()) - 1).bottom() + (rowSpacing + 1) / 2;
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(QPen(palette().color(QPalette::Highlight), 2, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(4, y), QPointF(width() - 4, y));
    }
}

void DashboardDisplayWindowList::mousePressEvent(QMouseEvent* event)
{
    const QPoint position = event->position().toPoint();
    const int index = rowAt(position);
    m_keyboardFocus = false;
    if (index >= 0 && event->button() == Qt::LeftButton) {
        if (Row::removeButtonRect(rowRect(index)).contains(position)) {
            // A button: it acts when released over itself.
            m_pressedRow = -1;
            m_pressedRemove = index;
            return;
        }
        m_pressedRow = index;
        m_pressPosition = position;
    }
    if (index >= 0)
        setCurrentRow(index);
    update();
    QWidget::mousePressEvent(event);
}

void DashboardDisplayWindowList::mouseMoveEvent(QMouseEvent* event)
{
    const QPoint position = event->position().toPoint();
    const int hovered = rowAt(position);
    const int hoveredRemove = hovered >= 0 && Row::removeButtonRect(rowRect(hovered)).contains(position) ? hovered : -1;
    if (hoveredRemove != m_hoveredRemove) {
        m_hoveredRemove = hoveredRemove;
        setCursor(hoveredRemove >= 0 ? Qt::PointingHandCursor : Qt::ArrowCursor);
        update();
    }
    if (m_pressedRow < 0 || !m_editingEnabled || !(event->buttons() & Qt::LeftButton)
        || (position - m_pressPosition).manhattanLength() < QApplication::startDragDistance()) {
        QWidget::mouseMoveEvent(event);
        return;
    }
    const int dragged = m_pressedRow;
    m_pressedRow = -1;
    const QRect row = rowRect(dragged);
    const qreal dpr = devicePixelRatioF();
    QPixmap picture(row.size() * dpr);
    picture.setDevicePixelRatio(dpr);
    picture.fill(Qt::transparent);
    {
        QPainter p(&picture);
        const QColor background = DashboardPreviewStyle::underPageBackground(palette());
        DashboardPreviewStyle::fillRounded(p, QRectF(QPointF(), QSizeF(row.size())), 4, background);
        m_rows[std::size_t(dragged)].paint(p, QRect(QPoint(), row.size()), palette(), background, {}, dpr);
    }
    // The drop may reload the layout and rebuild these rows inside the drag's own event loop;
    // nothing below touches a row afterwards.
    const QPointer<DashboardDisplayWindowList> self(this);
    auto* drag = new QDrag(this);
    drag->setMimeData(dragPayload(dragged));
    drag->setPixmap(picture);
    drag->setHotSpot(m_pressPosition - row.topLeft());
    drag->exec(Qt::MoveAction);
    if (self) {
        self->m_landingIndex.reset();
        self->m_keyboardFocus = false;
        self->update();
    }
}

void DashboardDisplayWindowList::mouseReleaseEvent(QMouseEvent* event)
{
    m_pressedRow = -1;
    const int pressedRemove = std::exchange(m_pressedRemove, -1);
    if (pressedRemove >= 0 && event->button() == Qt::LeftButton && pressedRemove < int(m_rows.size())
        && Row::removeButtonRect(rowRect(pressedRemove)).contains(event->position().toPoint())) {
        removeAt(pressedRemove);
        return;
    }
    QWidget::mouseReleaseEvent(event);
}

void DashboardDisplayWindowList::leaveEvent(QEvent* event)
{
    if (m_hoveredRemove >= 0) {
        m_hoveredRemove = -1;
        unsetCursor();
        update();
    }
    QWidget::leaveEvent(event);
}

void DashboardDisplayWindowList::keyPressEvent(QKeyEvent* event)
{
    const int count = int(m_rows.size());
    const bool plain = !(event->modifiers() & (Qt::AltModifier | Qt::ControlModifier | Qt::MetaModifier));
    int next = m_currentRow;
    switch (plain ? event->key() : 0) {
    case Qt::Key_Up:
        next = std::max(0, m_currentRow - 1);
        break;
    case Qt::Key_Down:
        next = std::min(count - 1, m_currentRow + 1);
        break;
    case Qt::Key_Home:
        next = 0;
        break;
    case Qt::Key_End:
        next = count - 1;
        break;
    case Qt::Key_Delete:
    case Qt::Key_Backspace:
        removeAt(m_currentRow);
        return;
    default:
        QWidget::keyPressEvent(event);
        return;
    }
    m_keyboardFocus = true;
    setCurrentRow(next);
    update();
}

void DashboardDisplayWindowList::focusInEvent(QFocusEvent* event)
{
    if (event->reason() == Qt::TabFocusReason || event->reason() == Qt::BacktabFocusReason
        || event->reason() == Qt::ShortcutFocusReason) {
        m_keyboardFocus = true;
        if (m_currentRow < 0 && !m_rows.empty())
            setCurrentRow(0);
    }
    update();
    QWidget::focusInEvent(event);
}

void DashboardDisplayWindowList::focusOutEvent(QFocusEvent* event)
{
    update();
    QWidget::focusOutEvent(event);
}

void DashboardDisplayWindowList::contextMenuEvent(QContextMenuEvent* event)
{
    const int index = event->reason() == QContextMenuEvent::Keyboard ? m_currentRow : rowAt(event->pos());
    if (index < 0)
        return;
    setCurrentRow(index);
    QMenu menu(this);
    fillContextMenu(menu, index);
    const QPoint at = event->reason() == QContextMenuEvent::Keyboard ? mapToGlobal(rowRect(index).center())
                                                                      : event->globalPos();
    menu.exec(at);
}

std::optional<int> DashboardDisplayWindowList::landingIndex(const QMimeData* data, const QPoint& position) const
{
    if (!m_editingEnabled || !data || !data->hasText() || m_rows.empty())
        return std::nullopt;
    const std::optional<QUuid> dragged = parseUuidStrict(data->text().section(QLatin1Char('\n'), 0, 0));
    const int from = dragged ? indexOfWindow(*dragged) : -1;
    if (from < 0)
        return std::nullopt;
    const int target = std::clamp((position.y() - topPadding) / rowPitch(), 0, int(m_rows.size()) - 1);
    if (target == from)
        return std::nullopt;
    // Dragged downwards it lands after the target, upwards before it.
    return target > from ? target + 1 : target;
}

void DashboardDisplayWindowList::dragEnterEvent(QDragEnterEvent* event)
{
    if (m_editingEnabled && event->mimeData()->hasText()) {
        event->acceptProposedAction();
        m_landingIndex = landingIndex(event->mimeData(), event->position().toPoint());
        update();
    } else {
        event->ignore();
    }
}

void DashboardDisplayWindowList::dragMoveEvent(QDragMoveEvent* event)
{
    if (!m_editingEnabled || !event->mimeData()->hasText()) {
        event->ignore();
        return;
    }
    const std::optional<int> landing = landingIndex(event->mimeData(), event->position().toPoint());
    if (landing != m_landingIndex) {
        m_landingIndex = landing;
        update();
    }
    if (landing)
        event->acceptProposedAction();
    else
        event->ignore();
}

void DashboardDisplayWindowList::dragLeaveEvent(QDragLeaveEvent* event)
{
    m_landingIndex.reset();
    update();
    QWidget::dragLeaveEvent(event);
}

void DashboardDisplayWindowList::dropEvent(QDropEvent* event)
{
    m_landingIndex.reset();
    m_keyboardFocus = false;
    update();
    const QPoint position = event->position().toPoint();
    if (m_rows.empty() || !m_editingEnabled) {
        event->ignore();
        return;
    }
    const int target = std::clamp((position.y() - topPadding) / rowPitch(), 0, int(m_rows.size()) - 1);
    // A drop may carry several texts, one per line; the first one names the dragged window.
    const QString payload = event->mimeData()->text().section(QLatin1Char('\n'), 0, 0);
    if (dropPayload(payload, m_rows[std::size_t(target)].window().id))
        event->acceptProposedAction();
    else
        event->ignore();
}

} // namespace zen
