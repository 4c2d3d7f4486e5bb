#pragma once

#include "MenuBar/ToastCardView.h"

#include <QString>

namespace zen {

class OverlayGlyph;
class ToastTextLabel;

// A short notice: an orange raised hand and up to three lines of text.
class StatusNoticeContentView final : public ToastCardView {
    Q_OBJECT
public:
    StatusNoticeContentView(QString message, bool translucent, QWidget* parent = nullptr);
    void buildView();

    ToastTextLabel* messageLabel() const { return m_label; }
    OverlayGlyph* icon() const { return m_icon; }

private:
    QString m_message;
    ToastTextLabel* m_label = nullptr;
    OverlayGlyph* m_icon = nullptr;
};

} // namespace zen
