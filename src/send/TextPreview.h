#pragma once
// What the panel shows of a text with fields before it is sent: one recipient's filled text at
// a time ("预览下一条" walks the list), how many recipients have a field that came out empty
// and how many filled texts are over the limit, and the longest one, whose count "字数:" shows.
// The recipients are those the send run would queue: empty and invalid entries are left out.
#include "SendRun.h"

#include <QString>
#include <QStringList>

class TextPreview
{
public:
    // Fills text for every entry; the phone book is read only when the text uses it. The
    // recipient shown stays the same one while it is still in the list.
    void Update(const QString &text, const QStringList &entries, const RecipientFields &fields,
                const SendRun::BookReader &readBook);
    // Whether the text has anything to fill ("{{" included): without, nothing is previewed.
    bool IsPersonal() const { return m_bPersonal; }
    int Count() const { return int(m_numbers.size()); }
    int Current() const { return m_nCurrent; }
    // The next recipient; after the last, the first again.
    void Next();
    QString CurrentText() const { return m_filled.m_texts.value(m_nCurrent); }
    QString Caption() const;
    const FilledTexts &Filled() const { return m_filled; }
    QString Longest() const { return m_filled.Longest(); }
    int LongestBytes() const { return m_filled.m_nLongestBytes; }

    static QString NextButtonText() { return QStringLiteral("预览下一条"); }

private:
    bool m_bPersonal = false;
    QString m_strRefusal; // an unknown field, a phone book that could not be read
    QStringList m_numbers; // normalised
    QStringList m_given;   // as in the list
    FilledTexts m_filled;
    int m_nCurrent = 0;
};
