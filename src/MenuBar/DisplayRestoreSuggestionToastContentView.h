#pragma once

#include "MenuBar/ToastCardView.h"

#include <QString>

#include <functional>
#include <utility>

class QPushButton;

namespace zen {

class ToastTextLabel;

// The offer of the one saved layout made for the monitors now attached.
class DisplayRestoreSuggestionToastContentView final : public ToastCardView {
    Q_OBJECT
public:
    static const QString title;
    // Restore "name"?
    static QString question(const QString& snapshotName);
    // The face both suggestion panels share: the two-displays glyph beside the title and one
    // line under it, laid out on `card`. Returns the title and line labels.
    static std::pair<ToastTextLabel*, ToastTextLabel*> buildFace(ToastCardView* card, const QString& line);

    DisplayRestoreSuggestionToastContentView(QString snapshotName, std::function<void()> onRestore,
                                             std::function<void()> onDismiss, bool translucent,
                                             QWidget* parent = nullptr);
    void buildView();
    // The Restore button's action.
    void restoreLayout();

    ToastTextLabel* titleLabel() const { return m_titleLabel; }
    ToastTextLabel* questionLabel() const { return m_questionLabel; }
    QPushButton* restoreButton() const { return m_restoreButton; }

private:
    QString m_snapshotName;
    std::function<void()> m_onRestore;
    std::function<void()> m_onDismiss;
    ToastTextLabel* m_titleLabel = nullptr;
    ToastTextLabel* m_questionLabel = nullptr;
    QPushButton* m_restoreButton = nullptr;
};

} // namespace zen
