#pragma once

#include "Snapshots/SnapshotSummary.h"

#include <QAbstractListModel>
#include <QDateTime>

#include <functional>
#include <vector>

namespace zen {

// The sidebar's saved layouts as a list model: one row per summary, in the presenter's order.
// Renaming through the model goes to the callback the sidebar gives; the model changes nothing
// itself.
class DashboardSnapshotListModel : public QAbstractListModel {
    Q_OBJECT
public:
    enum Role {
        IdRole = Qt::UserRole,
        HotkeyRole,
        SummaryRole,
    };
    using Clock = std::function<QDateTime()>;
    // True when the name was taken; the receiver trims, validates and explains refusals.
    using Rename = std::function<bool(const QUuid& id, const QString& newName)>;

    explicit DashboardSnapshotListModel(Rename rename, Clock now = {}, QObject* parent = nullptr);

    // The same layouts in the same order update in place (an open rename stays); any other
    // change resets the rows.
    void setSummaries(const std::vector<SnapshotSummary>& summaries);
    const std::vector<SnapshotSummary>& summaries() const { return m_summaries; }
    // While locked no row is editable.
    void setActionDisabled(bool disabled);
    bool isActionDisabled() const { return m_actionDisabled; }
    // The relative dates moved on: every summary line is read again.
    void refreshDates();
    int rowOf(const QUuid& id) const;

    // "3 windows • 2 displays • 5 minutes ago".
    static QString summaryLine(const SnapshotSummary& snapshot, const QDateTime& now);

    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

private:
    std::vector<SnapshotSummary> m_summaries;
    Rename m_rename;
    Clock m_now;
    bool m_actionDisabled = false;
};

} // namespace zen
