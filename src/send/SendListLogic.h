#pragma once
// What the buttons beside the send list do, without the window: each operation changes
// the list and returns what the operator is to be told. The panel only reads its controls,
// asks the dialogs, calls these and shows the results.
#include "PanelMessage.h"

#include <QList>
#include <QString>
#include <optional>

class SendListModel;
class CRandGenerator;

class SendListLogic
{
public:
    explicit SendListLogic(SendListModel &model);
    SendListLogic(SendListModel &model, CRandGenerator &generator);

    SendListModel &Model() { return m_model; }

    // True while the next click of the order button sorts; the button reads OrderCaption().
    bool SortNext() const { return m_bSortNext; }
    QString OrderCaption() const;

    // "手工输入": the typed text, trimmed; blank is refused.
    std::optional<PanelMessage> ManualEntry(const QString &typed);

    // "导入文件": the notice shown before the file dialog, then the chosen file.
    static PanelMessage ImportNotice();
    struct ImportOutcome
    {
        std::optional<PanelMessage> m_message; // "该文件无效"
        QString m_strStatus;                   // for the status bar when the file was read
        int m_nLoaded = 0;
        int m_nFailed = 0;
    };
    ImportOutcome Import(const QString &path);
    // The numbers a source such as the phone book hands over, as they are.
    void AppendNumbers(const QStringList &numbers);

    void RemoveDuplicates();
    // Sorts or shuffles (as SortNext says) and flips SortNext; an empty list changes nothing.
    void SortOrShuffle();
    std::optional<PanelMessage> MoveToFront(const QList<int> &selectedRows);
    std::optional<PanelMessage> RemoveSelected(const QList<int> &selectedRows);

    // "清空列表": asked also when the list is already empty; Clear() after OK.
    static PanelMessage ClearQuestion();
    void Clear();

    // "导出号码": refused for an empty list, before any file dialog.
    std::optional<PanelMessage> ExportCheck() const;
    // Writes the number file (whole, or the old one stays) and says how it went.
    PanelMessage Export(const QString &path) const;

private:
    SendListModel &m_model;
    CRandGenerator &m_generator;
    bool m_bSortNext = true;
};
