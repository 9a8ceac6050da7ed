#pragma once
// The records list of the main window: a table over RecordsModel with the list's context
// menu. Every command acts on the row of the selection mark (the current row).
#include "db/CDbAccess.h"
#include "base/SmsRecord.h"

#include <QTableView>
#include <QVector>

class IMessageBox;
class RecordsModel;
class QMenu;
class QAction;

class CMyList : public QTableView
{
    Q_OBJECT
public:
    CMyList(CDbAccess::SettingsSource settings, IMessageBox &messages, QWidget *parent = nullptr);
    ~CMyList() override;

    RecordsModel &Model() const { return *m_pModel; }
    QMenu *ContextMenu() const { return m_pMenu; }

    // Once, when the main window is built: the all view.
    void InitialUpdate();
    void LoadReceived();
    void LoadSent();
    void LoadAll();
    void ClearRows();
    void DeleteSelected();
    // The delete command on row: the refusal or the question, then what the delete says.
    // True when the record was deleted.
    bool DeleteRow(int row);
    void AddReportRow(const SmsReport &report);
    // The row of the selection mark: the selected row most recently clicked, -1 when no row
    // is selected.
    int SelectionMark() const;

    QSize sizeHint() const override;
    // The height that shows rows whole rows under the header, with room for the horizontal
    // scroll bar.
    int HeightForRows(int rows) const;

signals:
    // The entries whose windows come with the query and export features.
    void replyRequested(int row);
    // "加入黑名单": the row's number goes on the opt-out list (-1: no selection mark).
    void optOutRequested(int row);
    void queryRequested();
    void exportRequested();
    // "重发失败" with the selected rows.
    void resendFailedRequested(const QVector<int> &rows);

protected:
    void contextMenuEvent(QContextMenuEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    QAction *AddAction(QMenu *menu, const QString &text, const QString &prompt, const char *name);
    // Puts text into the status bar of the window the list is in ("" clears it).
    void ShowPrompt(const QString &text);
    // The content column takes the width the others leave, at least its laid-out width.
    void FitLastColumn();

    IMessageBox &m_messages;
    RecordsModel *m_pModel = nullptr;
    QMenu *m_pMenu = nullptr;
    int m_nLastColumnWidth = 0;
    bool m_bFitting = false;
    bool m_bKeepPlace = false;
};
