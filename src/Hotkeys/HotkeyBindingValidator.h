#pragma once

#include "Snapshots/Snapshot.h"

#include <QKeySequence>
#include <QString>

#include <cstdint>
#include <expected>
#include <optional>

namespace zen {

// Carbon modifier bits, the vocabulary stored in layout files.
namespace CarbonModifier {
inline constexpr std::uint32_t command = 0x100;
inline constexpr std::uint32_t shift = 0x200;
inline constexpr std::uint32_t option = 0x800;
inline constexpr std::uint32_t control = 0x1000;
} // namespace CarbonModifier

class HotkeyBindingError {
public:
    enum class Kind { duplicateAssignment, invalidCombination };

    static HotkeyBindingError duplicateAssignment(QString snapshotName)
    {
        return HotkeyBindingError(Kind::duplicateAssignment, std::move(snapshotName));
    }
    static HotkeyBindingError invalidCombination()
    {
        return HotkeyBindingError(Kind::invalidCombination, {});
    }

    Kind kind() const { return m_kind; }
    // Empty unless the kind is duplicateAssignment.
    const QString& snapshotName() const { return m_snapshotName; }
    QString errorDescription() const;

    friend bool operator==(const HotkeyBindingError&, const HotkeyBindingError&) = default;

private:
    HotkeyBindingError(Kind kind, QString name) : m_kind(kind), m_snapshotName(std::move(name)) {}
    Kind m_kind;
    QString m_snapshotName;
};

// A key press reduced to what a binding is made of: the key's position as a macOS virtual key
// code, the Qt modifier flags held, and the characters the key types with Shift but no other
// modifier (absent for keys that type nothing).
struct HotkeyKeyPress {
    std::uint32_t keyCode = 0;
    Qt::KeyboardModifiers modifiers;
    std::optional<QString> characters;
};

// How a binding shows as a menu item's shortcut: the key equivalent (one character, letters
// lower-cased) and the modifiers to show with it.
struct HotkeyShortcutRepresentation {
    QString keyEquivalent;
    Qt::KeyboardModifiers modifiers;

    QKeySequence keySequence() const;
    friend bool operator==(const HotkeyShortcutRepresentation&,
                           const HotkeyShortcutRepresentation&) = default;
};

struct HotkeyBindingValidator {
    static constexpr std::uint32_t requiredModifierMask =
        CarbonModifier::command | CarbonModifier::option | CarbonModifier::control;
    static constexpr std::uint32_t allowedModifierMask = requiredModifierMask | CarbonModifier::shift;

    static bool isValidModifierMask(std::uint32_t modifiers)
    {
        return (modifiers & requiredModifierMask) != 0 && (modifiers & ~allowedModifierMask) == 0;
    }

    static std::expected<void, HotkeyBindingError> validate(const HotkeyBinding& binding);

    // On X11 Qt reports Super as Meta: it stands for Command, Alt for Option.
    static std::uint32_t carbonModifiers(Qt::KeyboardModifiers flags);

    static QString displayString(std::uint32_t keyCode, std::uint32_t modifiers,
                                 const std::optional<QString>& eventCharacters);

    static std::expected<HotkeyBinding, HotkeyBindingError> binding(const HotkeyKeyPress& press);

    static std::optional<HotkeyShortcutRepresentation> shortcutRepresentation(std::uint32_t keyCode,
                                                                              std::uint32_t modifiers);

private:
    static QString keyName(std::uint32_t keyCode, const std::optional<QString>& eventCharacters);
};

std::optional<HotkeyShortcutRepresentation> shortcutRepresentation(const HotkeyBinding& binding);

// Same key and modifiers; the display strings are not compared.
bool matches(const HotkeyBinding& lhs, const HotkeyBinding& rhs);

} // namespace zen
