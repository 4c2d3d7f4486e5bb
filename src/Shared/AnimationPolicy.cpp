#include "Shared/AnimationPolicy.h"

#include "Platform/DesktopServices.h"

#include <QApplication>
#include <QGraphicsOpacityEffect>
#include <QPropertyAnimation>
#include <QStyle>
#include <QWidget>

namespace zen {

namespace {

// The desktop's reduce-motion setting, where it has one.
bool desktopAllowsAnimation()
{
    return desktopServices().desktopEnablesAnimations().value_or(true);
}

} // namespace

bool animationsEnabled()
{
    if (qobject_cast<QApplication*>(QCoreApplication::instance())) {
        const QStyle* style = QApplication::style();
        // A style may refuse either way: the older switch or a duration of zero.
        if (!style->styleHint(QStyle::SH_Widget_Animate) || style->styleHint(QStyle::SH_Widget_Animation_Duration) <= 0)
            return false;
    }
    return desktopAllowsAnimation();
}

QPropertyAnimation* makeFadeIn(QWidget* widget, int durationMs, QObject* owner)
{
    auto* fade = new QGraphicsOpacityEffect(widget);
    fade->setOpacity(0.0);
    widget->setGraphicsEffect(fade);
    auto* animation = new QPropertyAnimation(fade, "opacity", owner);
    animation->setDuration(durationMs);
    animation->setEasingCurve(QEasingCurve::InOutQuad);
    animation->setStartValue(0.0);
    animation->setEndValue(1.0);
    return animation;
}

} // namespace zen
