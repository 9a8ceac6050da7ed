#include "NumberGenerator.h"

#include "base/NumberRules.h"

namespace {
constexpr int kEndings = 10000;

QString DigitPair(bool first, bool second, QChar a, QChar b, const QString &joiner)
{
    if (first && second)
        return QString(a) + joiner + QString(b);
    if (first)
        return QString(a);
    if (second)
        return QString(b);
    return {};
}
} // namespace

QString NumberGenerator::KeepHint(bool need6, bool need8)
{
    return QStringLiteral("提示:后4位必须有") + DigitPair(need6, need8, u'6', u'8', QStringLiteral("和"));
}

QString NumberGenerator::DropHint(bool avoid4, bool avoid7)
{
    return QStringLiteral("提示:后4位一定没有") + DigitPair(avoid4, avoid7, u'4', u'7', QStringLiteral("或"));
}

QString NumberGenerator::validate()
{
    m_strSegment = m_strSegment.trimmed();
    if (m_strSegment.isEmpty())
        return QStringLiteral("请输入号码段");
    for (QChar c : std::as_const(m_strSegment)) {
        if (c < u'0' || c > u'9')
            return QStringLiteral("号码段只能包含数字");
    }
    // Every ending has four digits, so the longest result decides for all of them.
    if (!NumberRules::IsValidNumber(m_strSegment + QStringLiteral("0000")))
        return QStringLiteral("号码段加后4位不能超过24位");
    return {};
}

bool NumberGenerator::Accepts(const QString &ending) const
{
    if (m_bKeep && ((m_bNeed6 && !ending.contains(u'6')) || (m_bNeed8 && !ending.contains(u'8'))))
        return false;
    if (m_bDrop && ((m_bAvoid4 && ending.contains(u'4')) || (m_bAvoid7 && ending.contains(u'7'))))
        return false;
    return true;
}

QStringList NumberGenerator::Generate() const
{
    QStringList numbers;
    for (int i = 0; i < kEndings; ++i) {
        const QString ending = QStringLiteral("%1").arg(i, 4, 10, QLatin1Char('0'));
        if (Accepts(ending))
            numbers.append(m_strSegment + ending);
    }
    return numbers;
}
