#pragma once
// A file of numbers, either kind: the number file ("start", a number a line, "end"), or a CSV
// file whose first line names its columns ("号码,名字,金额"), each row a number and its
// fields. A file that begins with "start" is a number file; any other is read as CSV.
//
// CSV as the phone book imports it: with or without a byte-order mark, LF or CR LF, each line
// UTF-8 where it is valid UTF-8 and GBK otherwise, quoted cells holding commas. The number is
// the column headed "号码" (or "手机号码", "电话号码"); header cells and values are trimmed.
// Numbers are checked and normalised as a number file's are: a row whose number the number
// rule refuses (or whose line is neither UTF-8 nor GBK) counts as one failure, a repeat is
// dropped without being counted, and blank rows are skipped.
#include "PersonalTexts.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace NumberFile {

struct Contents
{
    bool m_bValid = false;
    bool m_bCsv = false;
    QString m_strWhy;      // with an invalid CSV file: what is missing, for the operator
    QStringList m_numbers; // normalised, in file order
    int m_nFailed = 0;
    RecipientFields m_fields; // of a CSV file: every column, the number's included

    // "该文件无效", and what is missing when a CSV file says it.
    QString Refusal() const;
};

// A missing or unreadable file is an invalid one.
Contents Read(const QString &path);
Contents ReadCsv(const QByteArray &bytes);
// Whether the file's first bytes make it a number file of the "start" kind.
bool IsStartFile(const QByteArray &head);

} // namespace NumberFile
