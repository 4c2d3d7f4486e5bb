#pragma once

#include <QWidget>

class QPropertyAnimation;

namespace zen {

// A borderless window for on-screen feedback that never takes the keyboard focus and never
// activates the program. It bypasses the window manager, which places it exactly where it is
// put, keeps it off the task list and the window cycling, and shows it on every workspace and
// above other windows. Opacity fades and a see-through background need a compositing manager;
// without one the panel is drawn solid, with its corners cut by a shape mask.
class FloatingFeedbackPanel : public QWidget {
    Q_OBJECT
public:
    struct Appearance {
        bool translucent = false;        // a compositing manager draws what lies below
        bool acceptsMouse = true;        // false: clicks pass through to the windows below
        double cornerRadius = 0;         // of the shape mask when drawn solid
        bool animatesFades = false;      // opacity changes are animated, not set at once
    };

    explicit FloatingFeedbackPanel(Appearance appearance);
    ~FloatingFeedbackPanel() override;

    const Appearance& appearance() const { return m_appearance; }

    // Installs the content, which fills the panel.
    void setContentView(QWidget* content);
    QWidget* contentView() const { return m_content; }

    // Brings the panel up at the given opacity, without activating anything, drawn at once.
    void orderFront(double opacity);
    // Moves the opacity towards `opacity` over `seconds` (at once without animation).
    void fadeTo(double opacity, double seconds, bool easeOut);
    // Takes the panel off the screen and lets it be deleted.
    void orderOut();
    bool isOrderedOut() const { return m_orderedOut; }
    // The opacity the panel is at or moving to.
    double targetOpacity() const { return m_targetOpacity; }

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    Appearance m_appearance;
    QWidget* m_content = nullptr;
    QPropertyAnimation* m_animation = nullptr;
    double m_targetOpacity = 1.0;
    bool m_orderedOut = false;
};

} // namespace zen
