#pragma once

#include "Hotkeys/HotkeyCapturePrompt.h"

#include <functional>

namespace zen {

// The hotkey card's capture field: always reads "Press shortcut", never the keys pressed. It
// takes every key press (shortcuts and Tab included) and hands it on as the capture prompt
// reads it, so both capture keys the same way; a red tint marks a refused combination.
class InlineHotkeyCaptureField : public HotkeyCaptureView {
    Q_OBJECT
public:
    explicit InlineHotkeyCaptureField(QWidget* parent = nullptr);

    bool hasError() const { return m_hasError; }
    void setHasError(bool hasError);

    // The keyboard went elsewhere (another widget, another window).
    std::function<void()> onFocusLost;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

    static QString placeholderText() { return QStringLiteral("Press shortcut"); }
    // The font the text is drawn in at the field's width: one line, smaller when narrow.
    QFont shownFont() const;

protected:
    void paintEvent(QPaintEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    bool m_hasError = false;
};

} // namespace zen
