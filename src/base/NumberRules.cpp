#include "NumberRules.h"

#include "GbkText.h"

#include <QFile>
#include <QSet>

namespace NumberRules {

bool IsValidNumber(const QString &text)
{
    if (text.size() > 24)
        return false;
    const qsizetype first = text.startsWith(QLatin1Char('+')) ? 1 : 0;
    // A "+" alone is no number: normalised it would become "86" and go out to nobody.
    if (first == text.size())
        return false;
    for (qsizetype i = first; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return false;
    }
    return true;
}

QString NormaliseNumber(const QString &text)
{
    QString n = text.startsWith(QLatin1Char('+')) ? text.mid(1) : text;
    if (!n.startsWith(QLatin1String("86")))
        n.prepend(QLatin1String("86"));
    return n;
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
        const QString n = NormaliseNumber(candidate);
        if (!seen.contains(n)) {
            seen.insert(n);
            accepted << n;
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
