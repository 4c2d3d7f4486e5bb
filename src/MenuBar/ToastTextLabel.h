#pragma once

#include <QColor>
#include <QFont>
#include <QWidget>

namespace zen {

// Plain text shown on at most a given number of lines: wrapped at word boundaries, line breaks
// kept, and cut with an ellipsis at the end of the last line when there is more. Rich-text
// markup in layout names and window titles is shown as typed.
class ToastTextLabel final : public QWidget {
    Q_OBJECT
public:
    ToastTextLabel(QString text, const QFont& font, QColor color, int maximumLines, QWidget* parent = nullptr);

    const QString& text() const { return m_text; }
    int maximumLines() const { return m_maximumLines; }
    // The lines as drawn at the given width, the last one cut when the text did not fit.
    QStringList visibleLines(int width) const;
    // True when the text did not fit in the lines at the given width.
    bool isTruncated(int width) const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;
    bool hasHeightForWidth() const override { return true; }
    int heightForWidth(int width) const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    struct Laid {
        QStringList lines;
        bool truncated = false;
    };
    Laid layOut(int width) const;

    QString m_text;
    QColor m_color;
    int m_maximumLines;
};

} // namespace zen
