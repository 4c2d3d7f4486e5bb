#include "Settings/SettingsRows.h"

#include "Onboarding/TextStyle.h"

#include "Settings/SettingsSymbols.h"

#include <QHBoxLayout>
#include <QKeyEvent>
#include <QPainter>
#include <QStyleOptionButton>

namespace zen {

namespace {

constexpr int symbolSide = 16;

void makeSemibold(QLabel* label)
{
    QFont font = label->font();
    font.setWeight(QFont::DemiBold);
    label->setFont(font);
}

} // namespace

void makeCaption(QLabel* label)
{
    QFont font = label->font();
    font.setPointSizeF(font.pointSizeF() * 0.85);
    label->setFont(font);
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, settingsTintColor(SettingsTint::secondary, palette));
    label->setPalette(palette);
}

QColor settingsTintColor(SettingsTint tint, const QPalette& palette)
{
    switch (tint) {
    case SettingsTint::red:
        return QColor(0xc0, 0x1c, 0x28);
    case SettingsTint::orange:
        return QColor(0xc6, 0x46, 0x00);
    case SettingsTint::green:
        return QColor(0x26, 0xa2, 0x69);
    case SettingsTint::secondary:
        break;
    }
    return TextStyle::color(palette, TextStyle::Emphasis::secondary);
}

SettingsIcon::SettingsIcon(const QString& systemImage, QWidget* parent) : QLabel(parent)
{
    setFixedWidth(18);
    setAlignment(Qt::AlignCenter);
    setSymbol(systemImage);
}

void SettingsIcon::setSymbol(const QString& systemImage, SettingsTint tint)
{
    m_systemImage = systemImage;
    setPixmap(SettingsSymbols::tintedPixmap(systemImage, symbolSide, settingsTintColor(tint, palette())));
}

SettingsValueRow::SettingsValueRow(const QString& title, const QString& systemImage,
                                   const std::optional<QString>& value, SettingsTint valueTint, QWidget* trailing,
                                   QWidget* parent)
    : QWidget(parent)
{
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(10);
    layout->addWidget(new SettingsIcon(systemImage, this), 0, Qt::AlignVCenter);
    m_title = TextStyle::plainLabel(title, this);
    makeSemibold(m_title);
    layout->addWidget(m_title, 0, Qt::AlignVCenter);
    layout->addStretch(1);
    if (value) {
        QLabel* valueLabel = TextStyle::plainLabel(*value, this);
        valueLabel->setObjectName(QStringLiteral("value"));
        QPalette palette = valueLabel->palette();
        // A tint made for symbols is darkened where needed to read as text.
        palette.setColor(QPalette::WindowText,
                         TextStyle::readableOn(settingsTintColor(valueTint, palette), palette.color(QPalette::Window),
                                               palette.color(QPalette::WindowText)));
        valueLabel->setPalette(palette);
        layout->addWidget(valueLabel, 0, Qt::AlignVCenter);
    }
    if (trailing)
        layout->addWidget(trailing, 0, Qt::AlignVCenter);
}

QString SettingsValueRow::title() const
{
    return m_title->text();
}

SettingsStatusRow::SettingsStatusRow(QWidget* parent) : QWidget(parent)
{
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(8);
    m_icon = new SettingsIcon(QStringLiteral("info.circle"), this);
    m_message = TextStyle::plainLabel(QString(), this, true);
    makeCaption(m_message);
    layout->addWidget(m_icon, 0, Qt::AlignTop);
    layout->addWidget(m_message, 1);
}

void SettingsStatusRow::setStatus(const QString& message, const QString& systemImage, SettingsTint tint)
{
    m_tint = tint;
    m_icon->setSymbol(systemImage, tint);
    m_message->setText(message);
}

QString SettingsStatusRow::message() const
{
    return m_message->text();
}

QString SettingsStatusRow::systemImage() const
{
    return m_icon->systemImage();
}

SettingsSwitch::SettingsSwitch(QWidget* parent) : QAbstractButton(parent)
{
    setCheckable(true);
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::StrongFocus);
    setFixedSize(sizeHint());
}

void SettingsSwitch::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF track = QRectF(rect()).adjusted(1, 1, -1, -1);
    QColor fill = isChecked() ? palette().color(QPalette::Highlight) : palette().color(QPalette::Mid);
    if (!isEnabled())
        fill.setAlphaF(0.4);
    p.setPen(hasFocus() ? QPen(palette().color(QPalette::Highlight).darker(130), 1.5) : Qt::NoPen);
    p.setBrush(fill);
    p.drawRoundedRect(track, track.height() / 2, track.height() / 2);
    const qreal knob = track.height() - 4;
    const qreal x = isChecked() ? track.right() - 2 - knob : track.left() + 2;
    p.setPen(Qt::NoPen);
    p.setBrush(isEnabled() ? QColor(Qt::white) : QColor(0xf0, 0xf0, 0xf0));
    p.drawEllipse(QRectF(x, track.top() + 2, knob, knob));
}

SettingsActionRow::SettingsActionRow(const QString& title, const QString& systemImage,
                                     const std::optional<QString>& leadingSystemImage, QWidget* parent)
    : QAbstractButton(parent)
{
    setText(title);
    setAccessibleName(title);
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::StrongFocus);
    setAttribute(Qt::WA_Hover);
    auto* layout = new QHBoxLayout(this);
    // Inset from the wash's rounded edge.
    layout->setContentsMargins(6, 5, 6, 5);
    layout->setSpacing(10);
    // The labels only draw: the whole row, spacer included, is the button's.
    if (leadingSystemImage) {
        auto* leading = new SettingsIcon(*leadingSystemImage, this);
        leading->setAttribute(Qt::WA_TransparentForMouseEvents);
        layout->addWidget(leading);
    }
    QLabel* titleLabel = TextStyle::plainLabel(title, this);
    makeSemibold(titleLabel);
    titleLabel->setAttribute(Qt::WA_TransparentForMouseEvents);
    layout->addWidget(titleLabel);
    layout->addStretch(1);
    auto* trailing = new SettingsIcon(systemImage, this);
    trailing->setAttribute(Qt::WA_TransparentForMouseEvents);
    layout->addWidget(trailing);
}

QSize SettingsActionRow::sizeHint() const
{
    return layout() ? layout()->sizeHint() : QAbstractButton::sizeHint();
}

void SettingsActionRow::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF shape = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    if (isEnabled() && (isDown() || underMouse())) {
        QColor wash = palette().color(QPalette::Highlight);
        wash.setAlphaF(isDown() ? 0.18 : 0.08);
        p.setPen(Qt::NoPen);
        p.setBrush(wash);
        p.drawRoundedRect(shape, 6, 6);
    }
    if (hasFocus()) {
        p.setPen(QPen(palette().color(QPalette::Highlight), 1.5));
        p.setBrush(Qt::NoBrush);
        p.drawRoundedRect(shape.adjusted(0.5, 0.5, -0.5, -0.5), 6, 6);
    }
}

void SettingsActionRow::keyPressEvent(QKeyEvent* event)
{
    // Enter presses a focused row, as it does a focused push button on this desktop.
    if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) && event->modifiers() == Qt::NoModifier) {
        if (isEnabled())
            animateClick();
        return;
    }
    QAbstractButton::keyPressEvent(event);
}

} // namespace zen
