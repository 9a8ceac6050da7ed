#pragma once
// The words by which a recipient refuses further messages ([SYSTEM] OptOutWords=, "TD,T,N,R,
// 退订,STOP" when not set): an arrival whose whole text is one of them puts its sender on the
// opt-out list. Texts and words are compared folded: trimmed, full-width forms as their
// half-width ones ("ＴＤ", the ideographic space), capitals as small letters.
#include <QString>
#include <QStringList>

namespace OptOutWords {
inline const QString kKey = QStringLiteral("OptOutWords");
inline const QString kDefault = QStringLiteral("TD,T,N,R,退订,STOP");
// A text as it is compared.
QString Fold(const QString &text);
// The words of a setting, folded, empty ones left out; commas of either width separate them.
QStringList Parse(const QString &setting);
// The text is one of the (folded) words.
bool Matches(const QString &text, const QStringList &words);
} // namespace OptOutWords
