// GLib's headers name struct fields "signals", which Qt defines away: they come first.
#include <gio/gio.h>

#include "Shared/AnimationPolicy.h"

#include <QApplication>
#include <QGraphicsOpacityEffect>
#include <QPropertyAnimation>
#include <QStyle>
#include <QWidget>

namespace zen {

namespace {

// The desktop's interface settings, or null where they are not installed. Made once and kept:
// the setting is read at every change of a view.
GSettings* desktopInterfaceSettings()
{
    // Looked up before the settings object is made: GSettings aborts the program for a schema
    // it does not know.
    GSettingsSchemaSource* source = g_settings_schema_source_get_default();
    if (!source)
        return nullptr;
    GSettingsSchema* schema = g_settings_schema_source_lookup(source, "org.gnome.desktop.interface", TRUE);
    if (!schema)
        return nullptr;
    GSettings* settings = nullptr;
    if (g_settings_schema_has_key(schema, "enable-animations"))
        settings = g_settings_new_full(schema, nullptr, nullptr);
    g_settings_schema_unref(schema);
    return settings;
}

bool desktopAllowsAnimation()
{
    static GSettings* const settings = desktopInterfaceSettings();
    return !settings || g_settings_get_boolean(settings, "enable-animations");
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
