#pragma once

class QObject;
class QPropertyAnimation;
class QWidget;

namespace zen {

// Whether the desktop lets views animate their changes: false when the widget style turns
// animation off or a GNOME-style desktop has "enable-animations" off (its reduce-motion
// setting). Main thread only.
bool animationsEnabled();

// A fade of `widget` from transparent to opaque over `durationMs`, easing in and out, drawn
// through an opacity effect set on the widget now; not started. The animation belongs to
// `owner`; whoever starts it removes the effect when it ends, so the widget paints directly again.
QPropertyAnimation* makeFadeIn(QWidget* widget, int durationMs, QObject* owner);

} // namespace zen
