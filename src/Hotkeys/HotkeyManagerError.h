#pragma once

#include <QString>

#include <cstdint>
#include <vector>

namespace zen {

// Why hotkeys could not be put in place, with the text the status line shows.
class HotkeyManagerError {
public:
    enum class Kind { invalidBinding, duplicateBinding, eventHandlerInstallFailed, registrationFailed,
                      registrationFailures };

    static HotkeyManagerError invalidBinding(QString snapshotName);
    static HotkeyManagerError duplicateBinding(QString snapshotName);
    static HotkeyManagerError eventHandlerInstallFailed(std::int32_t status);
    static HotkeyManagerError registrationFailed(QString snapshotName, std::int32_t status);
    static HotkeyManagerError registrationFailures(std::vector<HotkeyManagerError> failures);

    Kind kind() const { return m_kind; }
    const QString& snapshotName() const { return m_snapshotName; }
    std::int32_t status() const { return m_status; }
    const std::vector<HotkeyManagerError>& failures() const { return m_failures; }

    QString errorDescription() const;

    friend bool operator==(const HotkeyManagerError&, const HotkeyManagerError&) = default;

private:
    explicit HotkeyManagerError(Kind kind) : m_kind(kind) {}

    Kind m_kind;
    QString m_snapshotName;
    std::int32_t m_status = 0;
    std::vector<HotkeyManagerError> m_failures;
};

} // namespace zen
