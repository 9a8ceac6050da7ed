#pragma once
// The bulk-send panel: the send list with its buttons, the message field with its byte
// count, the send and stop buttons and the progress bar. It owns the tray icon.
#include <QStringList>
#include <QWidget>

class CDbAccess;
class CSettingsFile;
class IOutbox;
class IMessageBox;
class ISendPanelDialogs;
class ISourceDialogs;
class CTrayIcon;
class QProgressBar;
class SendListModel;
struct RunTally;
struct DeviceSettings;

class CSkevoView : public QWidget
{
    Q_OBJECT
public:
    // device is read at each send (the service centre number), not copied.
    CSkevoView(CSettingsFile &settings, const DeviceSettings &device, CDbAccess &db, IOutbox &outbox,
               IMessageBox &messages, QWidget *parent = nullptr);
    ~CSkevoView() override;

    // Once, when the panel is first shown: T_LASTNO, the text of MSG/MESSAGE, the tray icon.
    void InitialUpdate();
    void UpdateConnectionState(bool connected);
    // The progress bar shows the run: of its messages, those that went or failed. A stopped
    // run keeps its place (what went of the whole), so that the bar never says more went.
    void ShowRun(const RunTally &tally);
    QProgressBar *ProgressBar() const;
    QStringList GetAllNumbers() const;
    QString Message() const;   // m_strMessage as last taken from the field
    CTrayIcon &Tray();
    SendListModel &Model();

    // The dialogs the panel asks (manual number, number file open/save). Not owned;
    // nullptr puts the real dialogs back. For tests.
    void SetDialogs(ISendPanelDialogs *dialogs);
    // The same for the number generator, phrases and phone book dialogs.
    void SetSourceDialogs(ISourceDialogs *dialogs);

    // The send button's command. While messages are still queued it asks first (default no).
    void StartSendRun();
    // A text with fields is previewed a moment after the last change of the text or the list;
    // this does it at once. For tests.
    void UpdatePreview();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

signals:
    // Text for the first pane of the main window's status bar.
    void statusMessage(const QString &text);

private:
    void OnManualEntry();
    void OnImportFile();
    void OnRemoveDuplicates();
    void OnSortOrShuffle();
    void OnMoveToFront();
    void OnExport();
    void OnRemoveSelected();
    void OnClearList();
    void OnStop();
    void OnGenerate();
    void OnPhoneBook();
    void OnInsertPhrase();
    void OnPreviewNext();
    void SchedulePreview();
    void ShowCount();
    QList<int> SelectedRows() const;
    ISendPanelDialogs &Dialogs();
    ISourceDialogs &Sources();

    struct Private;
    Private *d;
};
