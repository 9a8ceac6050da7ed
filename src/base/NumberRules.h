#pragma once
// The one number rule of the program: the send list, the send run, the command line, the
// number file, the orders, the records (query and reply) and the PDU encoder all check
// numbers and turn them into the number as sent here. Also the number file format ("start" line, one number a line, "end" line).
#include <QString>
#include <QStringList>

namespace NumberRules {
// Decimal digits, the first character may be "+", at least one digit; at most 24 characters.
bool IsValidNumber(const QString &text);
// The number as it goes out, from a valid number as typed. Without "+" a number is Chinese:
// "86" goes in front unless it begins with "86" (13800000000 -> 8613800000000, 10086 ->
// 8610086). With "+" it keeps its country code: "+86..." goes out as "86...", other
// codes keep their "+" (+85291234567 stays +85291234567), except that "+" before a Chinese
// mobile number (11 digits, 1 then 3 to 9) means China, as it always has (+13800000000 ->
// 8613800000000). Chinese numbers keep the form the records have always held; a number
// abroad keeps its "+", so that the form given back (a record replied to, a list sent
// again) means the same phone: the rule leaves every number it gives unchanged.
QString NumberAsSent(const QString &text);
// The digits the message's address carries in international form (TS 23.040 9.1.2.5): the
// number as sent without its "+".
QString InternationalDigits(const QString &asSent);
// What tells two spellings of one phone apart from two phones: equal for 13900000001,
// 8613900000001 and +8613900000001; different for +85291234567 and 8685291234567.
QString PhoneKey(const QString &text);
// A Chinese mobile number in national form: 11 digits, 1 then 3 to 9.
bool IsChineseMobile(const QString &digits);

// "成功加载了N个,加载失败M个": what reading a number file gave, in every window and skevo-cli.
QString LoadedText(int loaded, int failed);

// Reads a number file: empties numbers, fills it with the accepted numbers as sent in file
// order (repeats of one phone, by PhoneKey, dropped without being counted) and adds the rejected lines to
// *failures. False (and numbers empty) when the file is missing, unreadable, does not
// begin with "start" or has no "end" line.
bool ReadNumberFile(const QString &path, QStringList *numbers, int *failures);
// The written form: "start" LF, each entry and LF, "end" without LF. Entries as they stand.
QByteArray NumberFileText(const QStringList &entries);
} // namespace NumberRules
