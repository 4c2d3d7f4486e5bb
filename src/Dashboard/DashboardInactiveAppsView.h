#pragma once

#include "Snapshots/Snapshot.h"

#include <QSet>
#include <QString>
#include <QWidget>

namespace zen {

class DashboardAppIdentityResolver;

// The "Inactive Apps" card of the layout detail: the layout's applications that are not
// running (so a restore will open them), or a note that all of them run. Stateless: the
// owner passes a new running set with `update` whenever applications launch or quit.
class DashboardInactiveAppsView : public QWidget {
    Q_OBJECT
public:
    DashboardInactiveAppsView(const Snapshot& snapshot, DashboardAppIdentityResolver& appIdentityResolver,
                              const QSet<QString>& runningBundleIdentifiers, QWidget* parent = nullptr);

    void update(const Snapshot& snapshot, const QSet<QString>& runningBundleIdentifiers);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void rebuild();

    Snapshot m_snapshot;
    DashboardAppIdentityResolver& m_resolver;
    QSet<QString> m_running;
    QWidget* m_content = nullptr;
};

} // namespace zen
