// GIO before any Qt header: its "signals" member names clash with Qt's keyword.
#include <gio/gio.h>

#include "Shared/AnimationPolicy.h"

#include <QApplication>
#include <QStyle>

#include <atomic>

namespace zen {

namespace {

// 0 follows the desktop, 1 forces on, 2 forces off.
std::atomic<int> overrideState {0};

// The GNOME-family switch most desktops share. Only looked up when its schema is installed:
// GSettings ends the process for a schema it does not know.
GSettings* desktopInterfaceSettings()
{
    static GSettings* settings = []() -> GSettings* {
        GSettingsSchemaSource* source = g_settings_schema_source_get_default();
        if (!source)
            return nullptr;
        GSettingsSchema* schema = g_settings_schema_source_lookup(source, "org.gnome.desktop.interface", TRUE);
        if (!schema)
            return nullptr;
        const bool hasKey = g_settings_schema_has_key(schema, "enable-animations");
        g_settings_schema_unref(schema);
        return hasKey ? g_settings_new("org.gnome.desktop.interface") : nullptr;
    }();
    return settings;
}

} // namespace

bool animationsEnabled()
{
    if (const int forced = overrideState.load(std::memory_order_relaxed); forced != 0)
        return forced == 1;
    if (qobject_cast<QApplication*>(QCoreApplication::instance())) {
        const QStyle* style = QApplication::style();
        if (style && (!style->styleHint(QStyle::SH_Widget_Animate)
                      || style->styleHint(QStyle::SH_Widget_Animation_Duration) <= 0))
            return false;
    }
    if (GSettings* settings = desktopInterfaceSettings())
        return g_settings_get_boolean(settings, "enable-animations");
    return true;
}

void setAnimationsEnabledOverride(std::optional<bool> enabled)
{
    overrideState.store(enabled ? (*enabled ? 1 : 2) : 0, std::memory_order_relaxed);
}

} // namespace zen
