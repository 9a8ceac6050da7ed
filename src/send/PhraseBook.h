#pragma once
// The common phrases of T_INSERT as the phrases dialog shows them: the list in the order the
// database returned it, then what was added meanwhile. A phrase is its own key, so a change
// or a delete reaches every row holding the same text, while the list changes only the one
// entry it was asked for. Each command returns what the operator is to be told; a statement
// that fails leaves the list as it was and nothing is returned: what the database said of it
// is the connection's LastMessages.
#include "PanelMessage.h"

#include <QStringList>
#include <optional>

class CDbAccess;

class PhraseBook
{
public:
    explicit PhraseBook(CDbAccess &db);

    // Fills the list from T_INSERT. "" when every row was read; otherwise the description
    // of the failure met while reading (the rows before it stay in the list).
    QString Load();
    const QStringList &Phrases() const { return m_phrases; }

    // "修改(&S)": row -1 is refused; otherwise every stored copy of the row's text becomes text.
    std::optional<PanelMessage> Change(int row, const QString &text);
    // "删除(&D)": row -1 is refused; otherwise every stored copy of the row's text goes.
    std::optional<PanelMessage> Delete(int row);
    // "增加(&A)": any text, an empty one or a repeat too.
    std::optional<PanelMessage> Add(const QString &text);

private:
    CDbAccess &m_db;
    QStringList m_phrases;
};
