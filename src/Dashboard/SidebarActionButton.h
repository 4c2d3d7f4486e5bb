#pragma once

#include <QAbstractButton>
#include <QColor>
#include <QIcon>

namespace zen {

// A full-width sidebar button ("New Layout", "Update Available", "Settings"): a symbol and a
// title, highlighted under the pointer. Its top and bottom spacing are part of it, but only
// the padded label inside counts as a click.
class SidebarActionButton : public QAbstractButton {
    Q_OBJECT
public:
    enum class Tone { primary, secondary, tertiary };

    SidebarActionButton(const QString& title, const QString& systemImage, bool isPrimary, int topPadding,
                        int bottomPadding, QWidget* parent = nullptr);

    void setTopPadding(int topPadding);
    int topPadding() const { return m_topPadding; }
    const QString& systemImage() const { return m_systemImage; }

    // The label's foreground: tertiary when disabled, primary when hovered or primary.
    Tone tone() const;
    // The sidebar's and rows' symbols by symbol name, from the icon theme; symbols it does not
    // know come from the dashboard's shared set.
    static QIcon symbol(const QString& systemImage);

    // Whether the rounded hover background is drawn.
    bool showsHoverBackground() const { return m_isHovered && isEnabled(); }
    // The padded label, in the button's coordinates.
    QRect labelRect() const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    bool hitButton(const QPoint& pos) const override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    QColor foreground() const;
    void setHovered(bool hovered);

    QString m_systemImage;
    bool m_isPrimary = false;
    int m_topPadding = 0;
    int m_bottomPadding = 0;
    bool m_isHovered = false;
};

} // namespace zen
