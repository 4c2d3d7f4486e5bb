#pragma once

#include <QApplication>
#include <QProxyStyle>
#include <QStyleFactory>

#include <optional>

namespace zen::test {

// While it lives, the widget style tells views not to animate, as a desktop set to reduce
// motion does; the previous style comes back afterwards. A style may say so either way (no
// animation, or a duration of zero): `only` says it one way alone.
class AnimationsOff {
public:
    explicit AnimationsOff(std::optional<QStyle::StyleHint> only = std::nullopt)
        : m_styleName(QApplication::style()->name())
    {
        QApplication::setStyle(new Still(QStyleFactory::create(m_styleName), only));
    }
    ~AnimationsOff() { QApplication::setStyle(QStyleFactory::create(m_styleName)); }
    AnimationsOff(const AnimationsOff&) = delete;
    AnimationsOff& operator=(const AnimationsOff&) = delete;

private:
    class Still final : public QProxyStyle {
    public:
        Still(QStyle* base, std::optional<StyleHint> only) : QProxyStyle(base), m_only(only) {}
        int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                      QStyleHintReturn* returnData) const override
        {
            if ((hint == SH_Widget_Animate || hint == SH_Widget_Animation_Duration) && (!m_only || *m_only == hint))
                return 0;
            return QProxyStyle::styleHint(hint, option, widget, returnData);
        }

    private:
        std::optional<StyleHint> m_only;
    };
    QString m_styleName;
};

} // namespace zen::test
