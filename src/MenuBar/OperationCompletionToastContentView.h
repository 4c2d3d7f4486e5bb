#pragma once

#include "MenuBar/ToastCardView.h"

#include <QColor>
#include <QString>

#include <functional>
#include <optional>

namespace zen {

class OverlayGlyph;
class ToastTextLabel;

// A finished restore: a green check when every window was put back, else an orange warning
// over the skipped windows; the summary and a close button.
class OperationCompletionToastContentView final : public ToastCardView {
    Q_OBJECT
public:
    static inline const QColor restoredTint{48, 209, 88};
    static inline const QColor skippedTint{255, 159, 10};

    OperationCompletionToastContentView(QString summary, std::optional<QString> detail, std::function<void()> onDismiss,
                                        bool translucent, QWidget* parent = nullptr);
    void buildView();

    ToastTextLabel* summaryLabel() const { return m_summaryLabel; }
    ToastTextLabel* detailLabel() const { return m_detailLabel; }
    OverlayGlyph* icon() const { return m_icon; }

private:
    QString m_summary;
    std::optional<QString> m_detail;
    std::function<void()> m_onDismiss;
    ToastTextLabel* m_summaryLabel = nullptr;
    ToastTextLabel* m_detailLabel = nullptr;
    OverlayGlyph* m_icon = nullptr;
};

} // namespace zen
