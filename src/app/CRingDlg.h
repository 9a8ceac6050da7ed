#pragma once
// The ring window: whether the ring plays when a message arrives, the ring file (chosen
// here, stored under Check/Mid on OK) and a button that plays it at once.
#include <QDialog>
#include <functional>

class CSettingsFile;
class IMessageBox;
class IRingPlayer;
class QCheckBox;
class QLineEdit;
class QPushButton;

class CRingDlg : public QDialog
{
    Q_OBJECT
public:
    CRingDlg(CSettingsFile &file, IRingPlayer &ring, IMessageBox &messages, bool play, QWidget *parent = nullptr);

    bool PlayFlag() const;
    QString StoredName() const; // the ring file as shown (and stored on OK)

    // Asks for a MIDI file; "" when the operator cancels. A test puts its own answer here.
    std::function<QString(QWidget *parent, const QString &startFolder)> m_chooseFile;

private:
    void OnChoose();
    void OnPlay();
    void OnOk();

    CSettingsFile &m_file;
    IRingPlayer &m_ring;
    IMessageBox &m_messages;
    QString m_strStored;
    QLineEdit *m_pFile;
    QCheckBox *m_pPlay;
    QPushButton *m_pChoose, *m_pPlayNow, *m_pOk, *m_pCancel;
};
