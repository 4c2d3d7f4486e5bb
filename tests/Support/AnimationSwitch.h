#pragma once

#include <QApplication>
#include <QProxyStyle>
#include <QStyleFactory>

namespace zen::test {

// While it lives, the widget style tells views not to animate, as a desktop set to reduce
// motion does; the previous style comes back afterwards.
class AnimationsOff {
public:
    AnimationsOff()
        : m_styleName(QApplication::style()->name())
    {
        QApplication::setStyle(new Still(QStyleFactory::create(m_styleName)));
    }
    ~AnimationsOff() { QApplication::setStyle(QStyleFactory::create(m_styleName)); }
    AnimationsOff(const AnimationsOff&) = delete;
    AnimationsOff& operator=(const AnimationsOff&) = delete;

private:
    class Still final : public QProxyStyle {
    public:
        using QProxyStyle::QProxyStyle;
        int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                      QStyleHintReturn* returnData) const override
        {
            if (hint == SH_Widget_Animate || hint == SH_Widget_Animation_Duration)
                return 0;
            return QProxyStyle::styleHint(hint, option, widget, returnData);
        }
    };
    QString m_styleName;
};

} // namespace zen::test
