#include "Onboarding/OnboardingPermissionEducationView.h"

#include "Onboarding/OnboardingStrings.h"
#include "Onboarding/SymbolImage.h"
#include "Onboarding/TextStyle.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QResizeEvent>
#include <QVBoxLayout>

namespace zen {

namespace {

constexpr int headerSymbolSize = 34;
constexpr int pathPadding = 12;
constexpr int pathSpacing = 8;

const QColor successGreen(52, 168, 83);
const QColor requestOrange(242, 140, 40);

// A large tinted symbol beside a title and a secondary body text.
QWidget* headingRow(const QString& symbol, const QColor& tint, const QString& symbolLabel, const QString& title,
                    const QString& body, QWidget* parent)
{
    auto* row = new QWidget(parent);
    auto* icon = new SymbolLabel(symbol, headerSymbolSize, tint, row);
    icon->setAccessibleName(symbolLabel);

    auto* titleLabel = TextStyle::plainLabel(title, row, true);
    TextStyle::apply(titleLabel, TextStyle::Role::title2, QFont::DemiBold);
    auto* bodyLabel = TextStyle::plainLabel(body, row, true);
    TextStyle::applyColor(bodyLabel, TextStyle::Emphasis::secondary);

    auto* texts = new QVBoxLayout;
    texts->setSpacing(6);
    texts->addWidget(titleLabel);
    texts->addWidget(bodyLabel);

    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(14);
    layout->addWidget(icon, 0, Qt::AlignTop);
    layout->addLayout(texts, 1);
    return row;
}

QWidget* pathStep(const QString& symbol, const QString& title, QWidget* parent)
{
    auto* step = new QWidget(parent);
    auto* text = TextStyle::plainLabel(title, step);
    TextStyle::apply(text, TextStyle::Role::caption, QFont::Medium);
    const int iconSize = QFontMetrics(text->font()).height();
    auto* icon = new SymbolLabel(symbol, iconSize, TextStyle::color(step->palette(), TextStyle::Emphasis::primary), step);
    auto* layout = new QHBoxLayout(step);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(4);
    layout->addWidget(icon);
    layout->addWidget(text);
    return step;
}

// A screen for the X11 session, a window for the window manager, and the circling arrow of
// the check the program makes again.
const QStringList pathSymbols{"display", "macwindow", "arrow.clockwise"};

} // namespace

// MARK: PermissionPathView

PermissionPathView::PermissionPathView(QWidget* parent) : QWidget(parent)
{
    const auto titles = OnboardingStrings::permissionPathTitles();
    setAccessibleName(OnboardingStrings::permissionPathAccessibilityLabel());

    m_row = new QWidget(this);
    auto* row = new QHBoxLayout(m_row);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(pathSpacing);
    m_column = new QWidget(this);
    auto* column = new QVBoxLayout(m_column);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(pathSpacing);

    for (qsizetype i = 0; i < titles.size(); ++i) {
        if (i > 0) {
            const int size = QFontMetrics(TextStyle::font(TextStyle::Role::caption, font(), QFont::DemiBold)).height();
            auto* separator = new SymbolLabel("chevron.right", size,
                                              TextStyle::color(palette(), TextStyle::Emphasis::tertiary), m_row);
            separator->setAccessibleName({});
            row->addWidget(separator);
        }
        row->addWidget(pathStep(pathSymbols[i], titles[i], m_row));
        column->addWidget(pathStep(pathSymbols[i], titles[i], m_column));
    }
    row->addStretch(1);
    column->addStretch(1);
    m_column->hide();
}

QStringList PermissionPathView::stepTitles() const
{
    QStringList titles;
    for (auto* label : (m_showsRow ? m_row : m_column)->findChildren<QLabel*>())
        if (!label->text().isEmpty())
            titles << label->text();
    return titles;
}

int PermissionPathView::rowWidth() const
{
    return m_row->sizeHint().width() + 2 * pathPadding;
}

QSize PermissionPathView::sizeHint() const
{
    return QSize(rowWidth(), heightForWidth(rowWidth()));
}

QSize PermissionPathView::minimumSizeHint() const
{
    return QSize(m_column->sizeHint().width() + 2 * pathPadding, m_row->sizeHint().height() + 2 * pathPadding);
}

int PermissionPathView::heightForWidth(int width) const
{
    const auto* shown = width >= rowWidth() ? m_row : m_column;
    return shown->sizeHint().height() + 2 * pathPadding;
}

void PermissionPathView::arrange(int width)
{
    const bool fitsRow = width >= rowWidth();
    if (fitsRow != m_showsRow) {
        m_showsRow = fitsRow;
        m_row->setVisible(fitsRow);
        m_column->setVisible(!fitsRow);
        updateGeometry();
    }
    auto* shown = m_showsRow ? m_row : m_column;
    shown->setGeometry(pathPadding, pathPadding, std::max(0, width - 2 * pathPadding), shown->sizeHint().height());
}

void PermissionPathView::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    arrange(event->size().width());
}

void PermissionPathView::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    QPainterPath shape;
    shape.addRoundedRect(QRectF(rect()), 8, 8);
    painter.fillPath(shape, palette().color(QPalette::Window));
    painter.setPen(QPen(TextStyle::color(palette(), TextStyle::Emphasis::tertiary).lighter(150), 0.5));
    painter.drawPath(shape);
}

// MARK: OnboardingPermissionEducationView

OnboardingPermissionEducationView::OnboardingPermissionEducationView(bool showsSuccess, bool hasOpenedSystemSettings,
                                                                     std::function<void()> onOpenSystemSettings,
                                                                     std::function<void()> onCheckAgain,
                                                                     std::function<void()> onDismiss, QWidget* parent)
    : QWidget(parent)
    , m_showsSuccess(showsSuccess)
    , m_hasOpenedSystemSettings(hasOpenedSystemSettings)
{
    m_successFace = headingRow("checkmark.circle.fill", successGreen, OnboardingStrings::successTitle(),
                               OnboardingStrings::successTitle(), OnboardingStrings::successBody(), this);

    m_requestFace = new QWidget(this);
    auto* request = new QVBoxLayout(m_requestFace);
    request->setContentsMargins(0, 0, 0, 0);
    request->setSpacing(18);
    request->addWidget(headingRow("hand.raised.fill", requestOrange, QStringLiteral("%1 required").arg(DesktopWords::windowAccess),
                                  OnboardingStrings::permissionTitle(), OnboardingStrings::permissionBody(),
                                  m_requestFace));

    m_path = new PermissionPathView(m_requestFace);
    request->addWidget(m_path);

    m_waitingNote = TextStyle::plainLabel(OnboardingStrings::waitingBody(), m_requestFace, true);
    TextStyle::apply(m_waitingNote, TextStyle::Role::callout);
    TextStyle::applyColor(m_waitingNote, TextStyle::Emphasis::secondary);
    m_waitingNote->setAccessibleName(OnboardingStrings::waitingBody());
    request->addWidget(m_waitingNote);

    auto* buttons = new QHBoxLayout;
    buttons->setSpacing(10);
    m_openSettings = new QPushButton(OnboardingStrings::openAccessSettingsTitle(), m_requestFace);
    TextStyle::applyProminent(m_openSettings);
    m_openSettings->setDefault(true);
    m_checkAgain = new QPushButton(OnboardingStrings::checkAgainTitle(), m_requestFace);
    buttons->addWidget(m_openSettings);
    buttons->addWidget(m_checkAgain);
    buttons->addStretch(1);
    if (onDismiss) {
        m_dismiss = new QPushButton(OnboardingStrings::dismissTitle(), m_requestFace);
        buttons->addWidget(m_dismiss);
        connect(m_dismiss, &QPushButton::clicked, this, [action = std::move(onDismiss)] { action(); });
    }
    request->addLayout(buttons);

    if (onOpenSystemSettings)
        connect(m_openSettings, &QPushButton::clicked, this, [action = std::move(onOpenSystemSettings)] { action(); });
    if (onCheckAgain)
        connect(m_checkAgain, &QPushButton::clicked, this, [action = std::move(onCheckAgain)] { action(); });

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_successFace);
    layout->addWidget(m_requestFace);
    refresh();
}

void OnboardingPermissionEducationView::setShowsSuccess(bool showsSuccess)
{
    if (m_showsSuccess == showsSuccess)
        return;
    m_showsSuccess = showsSuccess;
    refresh();
}

void OnboardingPermissionEducationView::setHasOpenedSystemSettings(bool hasOpened)
{
    if (m_hasOpenedSystemSettings == hasOpened)
        return;
    m_hasOpenedSystemSettings = hasOpened;
    refresh();
}

void OnboardingPermissionEducationView::refresh()
{
    m_successFace->setVisible(m_showsSuccess);
    m_requestFace->setVisible(!m_showsSuccess);
    m_waitingNote->setVisible(m_hasOpenedSystemSettings);
}

} // namespace zen
