#include "Dashboard/HotkeyCaptureErrorPopover.h"

#include "Onboarding/SymbolImage.h"
#include "Onboarding/TextStyle.h"

#include <QHBoxLayout>
#include <QLabel>

namespace zen {

namespace {
const QColor systemRed(255, 59, 48);
}

HotkeyCaptureErrorPopover::HotkeyCaptureErrorPopover(QWidget* parent)
    : QFrame(parent, Qt::ToolTip | Qt::FramelessWindowHint)
{
    setAttribute(Qt::WA_ShowWithoutActivating);
    setFocusPolicy(Qt::NoFocus);
    setFrameShape(QFrame::StyledPanel);
    setAutoFillBackground(true);
    setBackgroundRole(QPalette::Base);

    auto* symbol = new SymbolLabel(QStringLiteral("exclamationmark.triangle.fill"), 16, systemRed, this);
    m_message = new QLabel(this);
    m_message->setTextFormat(Qt::PlainText);
    m_message->setWordWrap(true);
    TextStyle::apply(m_message, TextStyle::Role::caption);
    QPalette red = m_message->palette();
    red.setColor(QPalette::WindowText, systemRed);
    m_message->setPalette(red);

    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(12, 12, 12, 12);
    layout->setSpacing(8);
    layout->addWidget(symbol, 0, Qt::AlignVCenter);
    layout->addWidget(m_message, 1);
    setFixedWidth(fixedWidth);
}

QString HotkeyCaptureErrorPopover::message() const
{
    return m_message->text();
}

void HotkeyCaptureErrorPopover::setMessage(const QString& message)
{
    m_message->setText(message);
    setAccessibleName(message);
    adjustSize();
}

void HotkeyCaptureErrorPopover::showAt(const QPoint& anchor)
{
    adjustSize();
    move(anchor);
    show();
    raise();
}

void HotkeyCaptureErrorPopover::mousePressEvent(QMouseEvent*)
{
    hide();
    if (onDismiss)
        onDismiss();
}

} // namespace zen
