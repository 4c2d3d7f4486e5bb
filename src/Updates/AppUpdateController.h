#pragma once

#include <QObject>
#include <QString>

#include <optional>

namespace zen {

// A newer version the update checker found.
struct AvailableAppUpdate {
    QString buildVersion;
    QString displayVersion;

    // The title of the entries that start the update, whatever the versions.
    static QString actionTitle() { return QStringLiteral("Update Available"); }

    friend bool operator==(const AvailableAppUpdate&, const AvailableAppUpdate&) = default;
};

// What the menus and windows know about updates. This build has no update checker yet, so
// checking is never possible and no update is ever available; the menus show their update
// entries disabled. Main thread only.
class AppUpdateController : public QObject {
    Q_OBJECT
public:
    explicit AppUpdateController(QObject* parent = nullptr);

    const std::optional<AvailableAppUpdate>& availableUpdate() const { return m_availableUpdate; }
    bool canCheckForUpdates() const { return m_canCheckForUpdates; }

    // Does nothing while checking is not possible.
    void checkForUpdates();

Q_SIGNALS:
    void availableUpdateChanged();
    void canCheckForUpdatesChanged(bool canCheck);

private:
    std::optional<AvailableAppUpdate> m_availableUpdate;
    bool m_canCheckForUpdates = false;
};

} // namespace zen
