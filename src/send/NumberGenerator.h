#pragma once
// Numbers from a segment: the segment followed by every four-digit ending that passes the
// two filters, in ascending order. The keep filter wants every ticked digit among 6 and 8 in
// the ending; the drop filter leaves out an ending holding any ticked digit among 4 and 7.
// The generator dialog and "skevo-cli generate" both fill these fields and call Generate().
#include <QString>
#include <QStringList>

class NumberGenerator
{
public:
    // As the dialog opens: every box ticked.
    bool m_bKeep = true;
    bool m_bNeed6 = true;
    bool m_bNeed8 = true;
    bool m_bDrop = true;
    bool m_bAvoid4 = true;
    bool m_bAvoid7 = true;
    QString m_strSegment;

    // The hint under each filter, from its two digit boxes alone.
    static QString KeepHint(bool need6, bool need8);
    static QString DropHint(bool avoid4, bool avoid7);

    // Trims blanks around the segment; "" when it is usable, otherwise the message to show.
    QString validate();
    // The numbers, ascending; call after validate() returned "".
    QStringList Generate() const;
    // Whether an ending of four digits passes the filters as ticked.
    bool Accepts(const QString &ending) const;
};
