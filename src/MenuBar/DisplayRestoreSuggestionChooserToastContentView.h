#pragma once

#include "Displays/DisplayRestoreSuggestionOption.h"
#include "MenuBar/ToastCardView.h"

#include <QString>
#include <QUuid>

#include <functional>
#include <vector>

class QAction;
class QMenu;
class QPushButton;

namespace zen {

class ToastTextLabel;

// The offer of several saved layouts made for the monitors now attached; the user picks one
// from a menu under the "Choose Layout" button.
class DisplayRestoreSuggestionChooserToastContentView final : public ToastCardView {
    Q_OBJECT
public:
    static const QString explanation;
    // As many layouts as the tray menu lists before its "More Layouts"; the rest are reached
    // through the dashboard, so the menu never grows over the screen.
    static constexpr int listedLayoutCount = 7;
    static const QString moreLayoutsTitle;

    DisplayRestoreSuggestionChooserToastContentView(std::vector<DisplayRestoreSuggestionOption> options,
                                                    std::function<void(const QUuid&)> onRestore,
                                                    std::function<void()> onDismiss, bool translucent,
                                                    QWidget* parent = nullptr);
    void buildView();
    // Pops the layout menu up under the button; a menu closed without a choice changes nothing.
    void chooseLayout();
    // A menu item's action: restores the layout whose id the item carries.
    void restoreLayout(QAction* item);

    // Opens the dashboard, for the layouts past the listed ones; none: no such item.
    void setOpenDashboard(std::function<void()> openDashboard) { m_openDashboard = std::move(openDashboard); }

    // One item per option, in order, each carrying its layout's id, at most
    // `listedLayoutCount` of them, then "More Layouts…" when there are more. Owned by the caller.
    QMenu* makeLayoutMenu();

    ToastTextLabel* titleLabel() const { return m_titleLabel; }
    ToastTextLabel* explanationLabel() const { return m_explanationLabel; }
    QPushButton* chooseButton() const { return m_chooseButton; }

private:
    std::vector<DisplayRestoreSuggestionOption> m_options;
    std::function<void(const QUuid&)> m_onRestore;
    std::function<void()> m_onDismiss;
    std::function<void()> m_openDashboard;
    ToastTextLabel* m_titleLabel = nullptr;
    ToastTextLabel* m_explanationLabel = nullptr;
    QPushButton* m_chooseButton = nullptr;
};

} // namespace zen
