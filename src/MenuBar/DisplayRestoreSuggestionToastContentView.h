#pragma once

#include "MenuBar/ToastCardView.h"

#include <QString>

#include <functional>

class QPushButton;

namespace zen {

class OperationToastCloseButton;
class OverlayGlyph;
class ToastTextLabel;

// The offer of the one saved layout made for the monitors now attached.
class DisplayRestoreSuggestionToastContentView final : public ToastCardView {
    Q_OBJECT
public:
    static const QString title;
    // Restore "name"?
    static QString question(const QString& snapshotName);

    DisplayRestoreSuggestionToastContentView(QString snapshotName, std::function<void()> onRestore,
                                             std::function<void()> onDismiss, bool translucent,
                                             QWidget* parent = nullptr);
    void buildView();
    // The buttons' actions.
    void restoreLayout();
    void dismiss();

    ToastTextLabel* titleLabel() const { return m_titleLabel; }
    ToastTextLabel* questionLabel() const { return m_questionLabel; }
    QPushButton* restoreButton() const { return m_restoreButton; }
    OperationToastCloseButton* closeButton() const { return m_closeButton; }

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    QString m_snapshotName;
    std::function<void()> m_onRestore;
    std::function<void()> m_onDismiss;
    ToastTextLabel* m_titleLabel = nullptr;
    ToastTextLabel* m_questionLabel = nullptr;
    QPushButton* m_restoreButton = nullptr;
    OperationToastCloseButton* m_closeButton = nullptr;
};

} // namespace zen
