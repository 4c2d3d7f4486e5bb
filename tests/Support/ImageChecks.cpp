#include "Support/ImageChecks.h"

#include "Onboarding/TextStyle.h"

#include <QHash>
#include <QProcess>
#include <QSet>
#include <QStandardPaths>

#include <cstdlib>

namespace zen::testsupport {

int colorDistance(const QColor& a, const QColor& b)
{
    return std::abs(a.red() - b.red()) + std::abs(a.green() - b.green()) + std::abs(a.blue() - b.blue());
}

int countNear(const QImage& image, const QRect& area, const QColor& color, int tolerance)
{
    const QRect bounded = area.intersected(image.rect());
    int count = 0;
    for (int y = bounded.top(); y <= bounded.bottom(); ++y)
        for (int x = bounded.left(); x <= bounded.right(); ++x)
            count += colorDistance(image.pixelColor(x, y), color) <= tolerance;
    return count;
}

bool containsColor(const QImage& image, const QRect& area, const QColor& color, int tolerance)
{
    return countNear(image, area, color, tolerance) > 0;
}

int distinctColors(const QImage& image, int step)
{
    QSet<QRgb> colours;
    for (int y = 0; y < image.height(); y += step)
        for (int x = 0; x < image.width(); x += step)
            colours.insert(image.pixel(x, y));
    return int(colours.size());
}

QString recognisedText(const QImage& image, const QString& folder)
{
    if (QStandardPaths::findExecutable("tesseract").isEmpty())
        return {};
    // Menu type is small: enlarged, the recognition reads it reliably.
    const QString path = folder + "/enlarged.png";
    image.scaled(image.size() * 3, Qt::IgnoreAspectRatio, Qt::SmoothTransformation).save(path);
    QProcess ocr;
    // One thread: on a busy machine its OpenMP threads spin and a second's work takes minutes.
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("OMP_THREAD_LIMIT", "1");
    ocr.setProcessEnvironment(env);
    ocr.start("tesseract", {path, "stdout", "--psm", "6"});
    if (!ocr.waitForFinished(120000))
        return QStringLiteral("(tesseract did not finish)");
    return QString::fromUtf8(ocr.readAllStandardOutput()).simplified();
}

double drawnTextContrast(const QImage& image, const QRect& area)
{
    const QRect bounded = area.intersected(image.rect());
    QHash<QRgb, int> counts;
    for (int y = bounded.top(); y <= bounded.bottom(); ++y)
        for (int x = bounded.left(); x <= bounded.right(); ++x)
            ++counts[image.pixel(x, y) | 0xff000000u];
    QRgb background = 0;
    int most = 0;
    for (auto it = counts.cbegin(); it != counts.cend(); ++it)
        if (it.value() > most) {
            most = it.value();
            background = it.key();
        }
    double best = 1;
    for (auto it = counts.cbegin(); it != counts.cend(); ++it)
        best = std::max(best, TextStyle::contrastRatio(QColor(it.key()), QColor(background)));
    return best;
}

} // namespace zen::testsupport
