#pragma once

#include "Shared/DesktopWords.h"

#include <QWidget>

#include <functional>

class QPushButton;

namespace zen {

// The pages of the onboarding window besides the permission page. They know nothing of the
// flow: each takes its actions from the window.

// "Done" on the left, the prominent primary button on the right.
class OnboardingCompletionButtons : public QWidget {
    Q_OBJECT
public:
    OnboardingCompletionButtons(const QString& primaryTitle, std::function<void()> onPrimary,
                                const QString& secondaryTitle, std::function<void()> onSecondary,
                                QWidget* parent = nullptr);
    QPushButton* primaryButton() const { return m_primary; }
    QPushButton* secondaryButton() const { return m_secondary; }

private:
    QPushButton* m_primary = nullptr;
    QPushButton* m_secondary = nullptr;
};

class OnboardingWelcomeStep : public QWidget {
    Q_OBJECT
public:
    // `programMenu` names where the program's menu is on this desktop (DesktopWords::programMenu).
    explicit OnboardingWelcomeStep(std::function<void()> onGetStarted,
                                   const QString& programMenu = DesktopWords::trayMenu, QWidget* parent = nullptr);
    QPushButton* getStartedButton() const { return m_getStarted; }

private:
    QPushButton* m_getStarted = nullptr;
};

// The ready page for a user whose access was granted before the flow began.
class OnboardingAuthorizedReadyStep : public QWidget {
    Q_OBJECT
public:
    OnboardingAuthorizedReadyStep(std::function<void()> onOpenDashboard, std::function<void()> onDone,
                                  const QString& programMenu = DesktopWords::trayMenu, QWidget* parent = nullptr);
    OnboardingCompletionButtons* buttons() const { return m_buttons; }

private:
    OnboardingCompletionButtons* m_buttons = nullptr;
};

// The ready page after access was granted during the flow.
class OnboardingReadyStep : public QWidget {
    Q_OBJECT
public:
    OnboardingReadyStep(std::function<void()> onOpenDashboard, std::function<void()> onDone, QWidget* parent = nullptr);
    OnboardingCompletionButtons* buttons() const { return m_buttons; }

private:
    OnboardingCompletionButtons* m_buttons = nullptr;
};

} // namespace zen
