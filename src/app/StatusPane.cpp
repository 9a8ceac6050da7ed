#include "StatusPane.h"

#include <QResizeEvent>

#include <algorithm>

namespace {
// What a pane keeps when it is short of room: this many characters and the "…".
constexpr int kKeptCharacters = 3;
const QString kEllipsis = QStringLiteral("…");
} // namespace

StatusPane::StatusPane(const QString &name, QWidget *parent)
    : QLabel(parent)
{
    setObjectName(name);
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Preferred);
}

void StatusPane::setText(const QString &text)
{
    m_strFull = text;
    updateGeometry();
    Fit();
}

void StatusPane::SetDetail(const QString &detail)
{
    m_strDetail = detail;
    Fit();
}

bool StatusPane::IsShortened() const
{
    return QLabel::text() != m_strFull;
}

int StatusPane::TextWidth(const QString &text) const
{
    const QMargins m = contentsMargins();
    return fontMetrics().horizontalAdvance(text) + m.left() + m.right() + 2 * margin();
}

QSize StatusPane::sizeHint() const
{
    return QSize(TextWidth(m_strFull), QLabel::sizeHint().height());
}

QSize StatusPane::minimumSizeHint() const
{
    const QString kept = m_strFull.size() > kKeptCharacters ? m_strFull.left(kKeptCharacters) + kEllipsis : m_strFull;
    return QSize(TextWidth(kept), QLabel::minimumSizeHint().height());
}

void StatusPane::resizeEvent(QResizeEvent *event)
{
    QLabel::resizeEvent(event);
    Fit();
}

void StatusPane::showEvent(QShowEvent *event)
{
    QLabel::showEvent(event);
    Fit();
}

void StatusPane::Fit()
{
    // A pane not shown has no width of its own yet: it holds its whole text until it has one.
    const int room = contentsRect().width() - 2 * margin();
    const QString shown = !isVisible() || fontMetrics().horizontalAdvance(m_strFull) <= room
        ? m_strFull
        : fontMetrics().elidedText(m_strFull, Qt::ElideRight, std::max(room, 0));
    QLabel::setText(shown);
    if (shown == m_strFull)
        setToolTip(m_strDetail);
    else
        setToolTip(m_strDetail.isEmpty() ? m_strFull : m_strFull + QLatin1Char('\n') + m_strDetail);
}
