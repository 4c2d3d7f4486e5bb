#include "MenuBar/FloatingFeedbackPanel.h"

#include <QEasingCurve>
#include <QPainterPath>
#include <QPropertyAnimation>
#include <QRegion>
#include <QResizeEvent>
#include <QVBoxLayout>

namespace zen {

FloatingFeedbackPanel::FloatingFeedbackPanel(Appearance appearance)
    : QWidget(nullptr, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint
                           | Qt::WindowDoesNotAcceptFocus | Qt::X11BypassWindowManagerHint
                           | Qt::NoDropShadowWindowHint)
    , m_appearance(appearance)
{
    setAttribute(Qt::WA_ShowWithoutActivating);
    setAttribute(Qt::WA_DeleteOnClose);
    setFocusPolicy(Qt::NoFocus);
    if (m_appearance.translucent) {
        setAttribute(Qt::WA_TranslucentBackground);
        setAttribute(Qt::WA_NoSystemBackground);
    }
    if (!m_appearance.acceptsMouse) {
        setWindowFlag(Qt::WindowTransparentForInput);
        setAttribute(Qt::WA_TransparentForMouseEvents);
    }
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
}

FloatingFeedbackPanel::~FloatingFeedbackPanel() = default;

void FloatingFeedbackPanel::setContentView(QWidget* content)
{
    if (m_content)
        m_content->deleteLater();
    m_content = content;
    if (content)
        layout()->addWidget(content);
}

void FloatingFeedbackPanel::orderFront(double opacity)
{
    m_targetOpacity = opacity;
    setWindowOpacity(opacity);
    show();
    raise();
    repaint();
}

void FloatingFeedbackPanel::fadeTo(double opacity, double seconds, bool easeOut)
{
    m_targetOpacity = opacity;
    if (m_animation)
        m_animation->stop();
    if (!m_appearance.animatesFades || seconds <= 0) {
        setWindowOpacity(opacity);
        return;
    }
    if (!m_animation) {
        m_animation = new QPropertyAnimation(this, "windowOpacity", this);
    }
    m_animation->setStartValue(windowOpacity());
    m_animation->setEndValue(opacity);
    m_animation->setDuration(static_cast<int>(seconds * 1000));
    m_animation->setEasingCurve(easeOut ? QEasingCurve::OutQuad : QEasingCurve::InQuad);
    m_animation->start();
}

void FloatingFeedbackPanel::orderOut()
{
    if (m_orderedOut)
        return;
    m_orderedOut = true;
    if (m_animation)
        m_animation->stop();
    hide();
    deleteLater();
}

void FloatingFeedbackPanel::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    if (m_appearance.translucent || m_appearance.cornerRadius <= 0)
        return;
    QPainterPath path;
    path.addRoundedRect(QRectF(QPointF(0, 0), QSizeF(event->size())), m_appearance.cornerRadius,
                        m_appearance.cornerRadius);
    setMask(QRegion(path.toFillPolygon().toPolygon()));
}

} // namespace zen
