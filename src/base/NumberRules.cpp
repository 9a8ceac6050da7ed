#include "NumberRules.h"

#include "GbkText.h"

#include <QFile>
#include <QSet>

#include <algorithm>

namespace NumberRules {

bool IsValidNumber(const QString &text)
{
    if (text.size() > 24)
        return false;
    const qsizetype first = text.startsWith(QLatin1Char('+')) ? 1 : 0;
    // A "+" alone is no number: sent, it would become "86" and go out to nobody.
    if (first == text.size())
        return false;
    for (qsizetype i = first; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return false;
    }
    return true;
}

bool IsChineseMobile(const QString &digits)
{
    if (digits.size() != 11 || digits.at(0) != QLatin1Char('1') || digits.at(1) < QLatin1Char('3')
        || digits.at(1) > QLatin1Char('9'))
        return false;
    return std::all_of(digits.cbegin(), digits.cend(), [](QChar c) { return c >= QLatin1Char('0') && c <= QLatin1Char('9'); });
}

QString NumberAsSent(const QString &text)
{
    const QLatin1String china("86");
    if (text.startsWith(QLatin1Char('+'))) {
        const QString digits = text.mid(1);
        if (digits.startsWith(china))
            return digits;
        // Operators wrote "+" before national mobile numbers, and these went to China.
        if (IsChineseMobile(digits))
            return china + digits;
        return text;
    }
    return text.startsWith(china) ? text : china + text;
}

QString InternationalDigits(const QString &asSent)
{
    return asSent.startsWith(QLatin1Char('+')) ? asSent.mid(1) : asSent;
}

QString PhoneKey(const QString &text)
{
    return InternationalDigits(NumberAsSent(text));
}

QString LoadedText(int loaded, int failed)
{
    return QStringLiteral("成功加载了%1个,加载失败%2个").arg(loaded).arg(failed);
}

namespace {
// The white space a C locale isspace() knows: blank, tab, LF, VT, FF, CR.
bool IsBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

QByteArray TrimBlanks(const QByteArray &line)
{
    qsizetype b = 0, e = line.size();
    while (b < e && IsBlank(line[b]))
        ++b;
    while (e > b && IsBlank(line[e - 1]))
        --e;
    return line.mid(b, e - b);
}

constexpr qsizetype kMaxLine = 511;
} // namespace

bool ReadNumberFile(const QString &path, QStringList *numbers, int *failures)
{
    numbers->clear();
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;

    QStringList accepted;
    QSet<QString> seen;
    int rejected = 0;
    bool first = true;
    while (true) {
        // A line is read up to its LF; one longer than the reader's buffer ends the file.
        const QByteArray line = file.readLine(kMaxLine + 2);
        if (line.isEmpty())
            return false; // end of file (or read error) before "end"
        if (line.size() > kMaxLine && !line.endsWith('\n'))
            return false;
        if (first) {
            if (!line.startsWith("start"))
                return false;
            first = false;
            continue;
        }
        const QByteArray t = TrimBlanks(line);
        if (t.isEmpty())
            continue;
        if (t == "end")
            break;
        const QString candidate = QString::fromLatin1(t);
        // Bytes above 127 make a line invalid; Latin-1 keeps them out of the digit range.
        if (!IsValidNumber(candidate)) {
            ++rejected;
            continue;
        }
        const QString key = PhoneKey(candidate);
        if (!seen.contains(key)) {
            seen.insert(key);
            accepted << NumberAsSent(candidate);
        }
    }
    *numbers = accepted;
    *failures += rejected;
    return true;
}

QByteArray NumberFileText(const QStringList &entries)
{
    QByteArray out("start\n");
    for (const QString &e : entries)
        out += GbkText::ToGbk(e) + '\n'; // 8-bit text, as the Windows program wrote it
    out += "end";
    return out;
}

} // namespace NumberRules
