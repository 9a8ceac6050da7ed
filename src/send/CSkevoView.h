#pragma once
// The bulk-send panel: the send list with its buttons, the message field with its byte
// count, the send and stop buttons and the progress bar. It owns the tray icon.
#include <QWidget>

class CSkevoApp;
class IMessageBox;
class CTrayIcon;
class QProgressBar;

class CSkevoView : public QWidget
{
    Q_OBJECT
public:
    CSkevoView(CSkevoApp &app, IMessageBox &messages, QWidget *parent = nullptr);
    ~CSkevoView() override;

    // Once, when the panel is first shown: T_LASTNO, the text of MSG/MESSAGE, the tray icon.
    void InitialUpdate();
    void UpdateConnectionState(bool connected);
    // One step of the progress bar per send report (a step past the top starts again at 0).
    void StepProgress();
    QProgressBar *ProgressBar() const;
    QStringList GetAllNumbers() const;
    QString Message() const;   // m_strMessage as last taken from the field
    CTrayIcon &Tray();

signals:
    // Text for the first pane of the main window's status bar.
    void statusMessage(const QString &text);

private:
    struct Private;
    Private *d;
};
