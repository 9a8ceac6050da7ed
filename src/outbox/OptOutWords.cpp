#include "OptOutWords.h"

namespace OptOutWords {

QString Fold(const QString &text)
{
    QString folded = text;
    for (QChar &c : folded) {
        const char16_t u = c.unicode();
        if (u >= 0xFF01 && u <= 0xFF5E)
            c = QChar(char16_t(u - 0xFEE0)); // full-width ASCII forms
        else if (u == 0x3000)
            c = QLatin1Char(' '); // the ideographic space
    }
    return folded.trimmed().toCaseFolded();
}

QStringList Parse(const QString &setting)
{
    QStringList words;
    for (const QString &word : Fold(setting).split(QLatin1Char(','))) {
        const QString w = word.trimmed();
        if (!w.isEmpty() && !words.contains(w))
            words.append(w);
    }
    return words;
}

bool Matches(const QString &text, const QStringList &words)
{
    return !words.isEmpty() && words.contains(Fold(text));
}

} // namespace OptOutWords
