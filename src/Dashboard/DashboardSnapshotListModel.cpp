#include "Dashboard/DashboardSnapshotListModel.h"

#include "Dashboard/DashboardRelativeDateFormatter.h"
#include "Hotkeys/HotkeyText.h"

namespace zen {

DashboardSnapshotListModel::DashboardSnapshotListModel(Rename rename, Clock now, QObject* parent)
    : QAbstractListModel(parent)
    , m_rename(std::move(rename))
    , m_now(now ? std::move(now) : Clock([] { return QDateTime::currentDateTime(); }))
{
}

QString DashboardSnapshotListModel::summaryLine(const SnapshotSummary& snapshot, const QDateTime& now)
{
    return QStringLiteral("%1 windows • %2 displays • %3")
        .arg(snapshot.windowCount)
        .arg(snapshot.displayCount)
        .arg(DashboardRelativeDateFormatter::string(snapshot.updatedAt, now));
}

void DashboardSnapshotListModel::setSummaries(const std::vector<SnapshotSummary>& summaries)
{
    bool sameRows = summaries.size() == m_summaries.size();
    for (std::size_t i = 0; sameRows && i < summaries.size(); ++i)
        sameRows = summaries[i].id == m_summaries[i].id;
    if (!sameRows) {
        beginResetModel();
        m_summaries = summaries;
        endResetModel();
        return;
    }
    m_summaries = summaries;
    if (!m_summaries.empty())
        emit dataChanged(index(0), index(rowCount() - 1));
}

void DashboardSnapshotListModel::setActionDisabled(bool disabled)
{
    if (m_actionDisabled == disabled)
        return;
    m_actionDisabled = disabled;
    if (!m_summaries.empty())
        emit dataChanged(index(0), index(rowCount() - 1));
}

void DashboardSnapshotListModel::refreshDates()
{
    if (!m_summaries.empty())
        emit dataChanged(index(0), index(rowCount() - 1), {SummaryRole});
}

int DashboardSnapshotListModel::rowOf(const QUuid& id) const
{
    for (std::size_t i = 0; i < m_summaries.size(); ++i)
        if (m_summaries[i].id == id)
            return int(i);
    return -1;
}

int DashboardSnapshotListModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(m_summaries.size());
}

QVariant DashboardSnapshotListModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= rowCount())
        return {};
    const SnapshotSummary& summary = m_summaries[std::size_t(index.row())];
    switch (role) {
    case Qt::DisplayRole:
    case Qt::EditRole:
        return summary.name;
    case Qt::AccessibleTextRole:
        return summary.name;
    case Qt::AccessibleDescriptionRole:
    case SummaryRole:
        return summaryLine(summary, m_now());
    case IdRole:
        return summary.id;
    case HotkeyRole:
        return summary.hotkey ? hotkeyText(*summary.hotkey) : QString();
    default:
        return {};
    }
}

bool DashboardSnapshotListModel::setData(const QModelIndex& index, const QVariant& value, int role)
{
    if (role != Qt::EditRole || !index.isValid() || index.row() >= rowCount() || m_actionDisabled || !m_rename)
        return false;
    // A copy: a taken name publishes new summaries, which replace this row before returning.
    const QUuid id = m_summaries[std::size_t(index.row())].id;
    return m_rename(id, value.toString());
}

Qt::ItemFlags DashboardSnapshotListModel::flags(const QModelIndex& index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    Qt::ItemFlags flags = Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
    if (!m_actionDisabled)
        flags |= Qt::ItemIsEditable;
    return flags;
}

} // namespace zen
