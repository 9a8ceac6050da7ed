#pragma once
// A message text with fields, "尊敬的{名字}", filled in for each recipient. {名字} and {关系}
// come from the phone book's entry for the number, {号码} is the number itself, and any other
// name is a column of the recipient's own file (a CSV number file's header names them). "{{"
// and "}}" stand for a brace; a brace that opens no field ("{" with no "}" after it on its
// line, "{}") is text as it stands.
#include "OperatorMessage.h"

#include <QString>
#include <QStringList>
#include <QVector>

namespace TextFields {
inline const QString kName = QStringLiteral("名字");
inline const QString kRelation = QStringLiteral("关系");
inline const QString kNumber = QStringLiteral("号码");
// The fields every recipient has, whatever its file.
bool IsBuiltIn(const QString &field);
} // namespace TextFields

class TextTemplate
{
public:
    TextTemplate() = default;
    explicit TextTemplate(const QString &text);

    const QString &Text() const { return m_strText; }
    bool HasFields() const { return !m_fields.isEmpty(); }
    // No field and no doubled brace: every recipient gets the text as it stands.
    bool IsPlain() const { return m_bPlain; }
    // Each field once, in the order of its first use.
    const QStringList &Fields() const { return m_fields; }
    bool Uses(const QString &field) const { return m_fields.contains(field); }
    // The first field that is neither built in nor among columns; "" when every one is known.
    QString UnknownField(const QStringList &columns) const;
    // "未知的字段: {金额}".
    static OperatorMessage UnknownFieldMessage(const QString &field);

    // The text with values.at(i) in the place of Fields().at(i). A null value (not an empty
    // one) leaves its field as written, so that a text meant literally goes out as it was.
    QString Fill(const QStringList &values) const;
    // GBK bytes of the text around the fields: a filled text counts these plus its values'.
    int LiteralBytes() const { return m_nLiteralBytes; }
    // What stands in the place of a field that has no value at all.
    static QString AsWritten(const QString &field);

private:
    struct Piece
    {
        QString m_strText; // the text before the field
        int m_nField = -1; // index into m_fields; -1 for the text after the last field
    };
    QString m_strText;
    QVector<Piece> m_pieces;
    QStringList m_fields;
    int m_nLiteralBytes = 0;
    bool m_bPlain = true;
};
