#include "Displays/ScreenParametersNotifier.h"

#include <QGuiApplication>
#include <QScreen>

namespace zen {

ScreenParametersNotifier::ScreenParametersNotifier(QObject* parent) : QObject(parent) {}

ScreenParametersNotifier* ScreenParametersNotifier::forApplication(QObject* parent)
{
    auto* notifier = new ScreenParametersNotifier(parent);
    auto* application = qobject_cast<QGuiApplication*>(QCoreApplication::instance());
    if (!application)
        return notifier;
    connect(application, &QGuiApplication::screenAdded, notifier, [notifier](QScreen* screen) {
        notifier->followScreen(screen);
        notifier->post();
    });
    connect(application, &QGuiApplication::screenRemoved, notifier, &ScreenParametersNotifier::post);
    connect(application, &QGuiApplication::primaryScreenChanged, notifier, &ScreenParametersNotifier::post);
    for (QScreen* screen : QGuiApplication::screens())
        notifier->followScreen(screen);
    return notifier;
}

void ScreenParametersNotifier::followScreen(QScreen* screen)
{
    connect(screen, &QScreen::geometryChanged, this, &ScreenParametersNotifier::post);
    connect(screen, &QScreen::availableGeometryChanged, this, &ScreenParametersNotifier::post);
    connect(screen, &QScreen::logicalDotsPerInchChanged, this, &ScreenParametersNotifier::post);
    connect(screen, &QScreen::physicalDotsPerInchChanged, this, &ScreenParametersNotifier::post);
}

} // namespace zen
