#include "Hotkeys/HotkeyText.h"

#include "Hotkeys/HotkeyBindingValidator.h"
#include "Shared/DesktopWords.h"

#include <QKeySequence>
#include <QStringList>

#include <array>

namespace zen {

namespace {

struct KeyFace {
    std::uint32_t macKeyCode;
    Qt::Key key;
    bool keypad = false;
};

// The key at each stored position, as a US keyboard here labels it. Keypad keys keep their
// own mark so that Ctrl+Num+5 does not read like Ctrl+5.
constexpr auto keyFaces = std::to_array<KeyFace>({
    {0x00, Qt::Key_A}, {0x01, Qt::Key_S}, {0x02, Qt::Key_D}, {0x03, Qt::Key_F}, {0x04, Qt::Key_H},
    {0x05, Qt::Key_G}, {0x06, Qt::Key_Z}, {0x07, Qt::Key_X}, {0x08, Qt::Key_C}, {0x09, Qt::Key_V},
    {0x0B, Qt::Key_B}, {0x0C, Qt::Key_Q}, {0x0D, Qt::Key_W}, {0x0E, Qt::Key_E}, {0x0F, Qt::Key_R},
    {0x10, Qt::Key_Y}, {0x11, Qt::Key_T}, {0x1F, Qt::Key_O}, {0x20, Qt::Key_U}, {0x22, Qt::Key_I},
    {0x23, Qt::Key_P}, {0x25, Qt::Key_L}, {0x26, Qt::Key_J}, {0x28, Qt::Key_K}, {0x2D, Qt::Key_N},
    {0x2E, Qt::Key_M},
    {0x12, Qt::Key_1}, {0x13, Qt::Key_2}, {0x14, Qt::Key_3}, {0x15, Qt::Key_4}, {0x17, Qt::Key_5},
    {0x16, Qt::Key_6}, {0x1A, Qt::Key_7}, {0x1C, Qt::Key_8}, {0x19, Qt::Key_9}, {0x1D, Qt::Key_0},
    {0x1B, Qt::Key_Minus}, {0x18, Qt::Key_Equal}, {0x21, Qt::Key_BracketLeft}, {0x1E, Qt::Key_BracketRight},
    {0x29, Qt::Key_Semicolon}, {0x27, Qt::Key_Apostrophe}, {0x32, Qt::Key_QuoteLeft}, {0x2A, Qt::Key_Backslash},
    {0x2B, Qt::Key_Comma}, {0x2F, Qt::Key_Period}, {0x2C, Qt::Key_Slash},
    // The extra key of ISO keyboards, left of Z.
    {0x0A, Qt::Key_Less},
    {0x24, Qt::Key_Return}, {0x30, Qt::Key_Tab}, {0x31, Qt::Key_Space}, {0x33, Qt::Key_Backspace},
    {0x35, Qt::Key_Escape}, {0x75, Qt::Key_Delete},
    // Help sits where PC keyboards have Insert; the grab takes that key.
    {0x72, Qt::Key_Insert},
    {0x73, Qt::Key_Home}, {0x77, Qt::Key_End}, {0x74, Qt::Key_PageUp}, {0x79, Qt::Key_PageDown},
    {0x7B, Qt::Key_Left}, {0x7C, Qt::Key_Right}, {0x7D, Qt::Key_Down}, {0x7E, Qt::Key_Up},
    {0x39, Qt::Key_CapsLock}, {0x6E, Qt::Key_Menu},
    {0x7A, Qt::Key_F1}, {0x78, Qt::Key_F2}, {0x63, Qt::Key_F3}, {0x76, Qt::Key_F4}, {0x60, Qt::Key_F5},
    {0x61, Qt::Key_F6}, {0x62, Qt::Key_F7}, {0x64, Qt::Key_F8}, {0x65, Qt::Key_F9}, {0x6D, Qt::Key_F10},
    {0x67, Qt::Key_F11}, {0x6F, Qt::Key_F12}, {0x69, Qt::Key_F13}, {0x6B, Qt::Key_F14}, {0x71, Qt::Key_F15},
    {0x6A, Qt::Key_F16}, {0x40, Qt::Key_F17}, {0x4F, Qt::Key_F18}, {0x50, Qt::Key_F19}, {0x5A, Qt::Key_F20},
    // Clear sits where PC keyboards have Num Lock.
    {0x47, Qt::Key_NumLock},
    {0x51, Qt::Key_Equal, true}, {0x4B, Qt::Key_Slash, true}, {0x43, Qt::Key_Asterisk, true},
    {0x4E, Qt::Key_Minus, true}, {0x45, Qt::Key_Plus, true}, {0x4C, Qt::Key_Enter, true},
    {0x41, Qt::Key_Period, true}, {0x5F, Qt::Key_Comma, true},
    {0x52, Qt::Key_0, true}, {0x53, Qt::Key_1, true}, {0x54, Qt::Key_2, true}, {0x55, Qt::Key_3, true},
    {0x56, Qt::Key_4, true}, {0x57, Qt::Key_5, true}, {0x58, Qt::Key_6, true}, {0x59, Qt::Key_7, true},
    {0x5B, Qt::Key_8, true}, {0x5C, Qt::Key_9, true},
    {0x48, Qt::Key_VolumeUp}, {0x49, Qt::Key_VolumeDown}, {0x4A, Qt::Key_VolumeMute},
    {0x5D, Qt::Key_yen}, {0x5E, Qt::Key_Underscore},
});

QString keyName(std::uint32_t keyCode)
{
    // Qt's own names for modifier keys are not meant for reading; ours match the prefixes.
    switch (keyCode) {
    case 0x37:
    case 0x36:
        return DesktopWords::superKey;
    case 0x38:
    case 0x3C:
        return DesktopWords::shiftKey;
    case 0x3A:
    case 0x3D:
        return DesktopWords::altKey;
    case 0x3B:
    case 0x3E:
        return DesktopWords::ctrlKey;
    default:
        break;
    }
    for (const auto& face : keyFaces) {
        if (face.macKeyCode != keyCode)
            continue;
        const QKeyCombination combination(face.keypad ? Qt::KeypadModifier : Qt::NoModifier, face.key);
        const QString text = QKeySequence(combination).toString(QKeySequence::NativeText);
        if (!text.isEmpty())
            return text;
        break;
    }
    return QStringLiteral("Key %1").arg(keyCode);
}

} // namespace

QString hotkeyText(std::uint32_t keyCode, std::uint32_t modifiers)
{
    // Qt's order: the Meta (Super) key first, then Ctrl, Alt, Shift.
    QStringList parts;
    if (modifiers & CarbonModifier::command)
        parts << DesktopWords::superKey;
    if (modifiers & CarbonModifier::control)
        parts << DesktopWords::ctrlKey;
    if (modifiers & CarbonModifier::option)
        parts << DesktopWords::altKey;
    if (modifiers & CarbonModifier::shift)
        parts << DesktopWords::shiftKey;
    parts << keyName(keyCode);
    return parts.join(QLatin1Char('+'));
}

QString hotkeyText(const HotkeyBinding& binding)
{
    return hotkeyText(binding.keyCode, binding.modifiers);
}

} // namespace zen
