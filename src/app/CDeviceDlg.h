#pragma once
// The device window: the list of modems of the pool (added and removed here), and for the
// modem chosen in it its name (for the status bar and the tray), its port, speed, service centre, framing, the SIM's PIN,
// its limits and the pause between its messages (and the pool's quiet hours), and what that
// modem is like now when it is connected (its SIM, network, operator and signal). A further
// modem's empty field means "as the first modem". It copies its controls into
// DeviceSettingsLogic and shows what that returns; the open ports are left alone, the values
// count from the next connect (a PIN at once, where the SIM waits for one).
#include "base/DeviceSettings.h"
#include "modem/ModemStatus.h"
#include "outbox/SimState.h"

#include <QDialog>
#include <QMap>
#include <QStringList>
#include <QVector>

class CSettingsFile;
class IMessageBox;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;

class CDeviceDlg : public QDialog
{
    Q_OBJECT
public:
    // current: the modems as the application has them (the first one first), changed on OK.
    // ports: the port list's entries.
    CDeviceDlg(QVector<DeviceSettings> &current, CSettingsFile &file, IMessageBox &messages, const QStringList &ports,
               QWidget *parent = nullptr);

    // What the controls hold now, every modem.
    QVector<DeviceSettings> Edited() const;

    // A connected modem's status as the status bar shows it (port "" when none is connected).
    void ShowStatus(const QString &port, const ModemStatus &status);
    // The connected modems' SIMs: today's count beside the limit, a limit reached.
    void ShowSims(const QVector<SimState> &sims);

private:
    void Show(int index);
    DeviceSettings Controls() const;
    void Take(); // the controls into the modem shown
    void ShowStatusOf(int index);
    void FillList();
    void OnSelected(int row);
    void OnAdd();
    void OnRemove();
    void OnDefaults();
    void OnOk();

    QVector<DeviceSettings> &m_current;
    CSettingsFile &m_file;
    IMessageBox &m_messages;
    const QStringList m_ports;
    QVector<DeviceSettings> m_edited;
    QVector<int> m_origins;   // each edited modem's index in m_current, -1 when added
    QVector<bool> m_pinTyped; // the operator typed that modem's PIN
    int m_nShown = -1;
    QMap<QString, ModemStatus> m_statuses; // by port, of the connected modems
    QListWidget *m_pList;
    QComboBox *m_pPort, *m_pBaud, *m_pByteSize, *m_pParity, *m_pStopBits;
    QLineEdit *m_pSmsc, *m_pPin, *m_pName, *m_pOptOutWords;
    // The SIM's limits and pause, the modem's own; the quiet hours, the pool's.
    QLineEdit *m_pLimitHour, *m_pLimitDay, *m_pLimitMonth, *m_pIntervalMin, *m_pIntervalMax;
    QLineEdit *m_pQuietFrom, *m_pQuietTo;
    QVector<SimState> m_sims;
    QLabel *m_pCount;
    QCheckBox *m_pReport;
    QCheckBox *m_pShare;
    QLabel *m_pState, *m_pSim, *m_pNetwork, *m_pOperator, *m_pSignal;
    QPushButton *m_pAdd, *m_pRemove, *m_pOk, *m_pCancel, *m_pDefaults;
};
