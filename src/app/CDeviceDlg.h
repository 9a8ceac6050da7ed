#pragma once
// The device window: port, speed, service centre, framing and the SIM's PIN of the modem,
// and what the connected modem is like now (its SIM, network, operator and signal). It copies
// its controls into DeviceSettingsLogic and shows what that returns; the open port is left
// alone, the values count from the next connect (a PIN at once, where the SIM waits for one).
#include "base/DeviceSettings.h"
#include "modem/ModemStatus.h"

#include <QDialog>
#include <QStringList>

class CSettingsFile;
class IMessageBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

class CDeviceDlg : public QDialog
{
    Q_OBJECT
public:
    // current: the application's settings, changed on OK. ports: the port list's entries.
    CDeviceDlg(DeviceSettings &current, CSettingsFile &file, IMessageBox &messages, const QStringList &ports,
               QWidget *parent = nullptr);

    DeviceSettings Edited() const; // what the controls hold now

    // The modem's status as the link pane shows it (port "" when not connected).
    void ShowStatus(const QString &port, const ModemStatus &status);

private:
    void Show(const DeviceSettings &s);
    void OnDefaults();
    void OnOk();

    DeviceSettings &m_current;
    CSettingsFile &m_file;
    IMessageBox &m_messages;
    const QStringList m_ports;
    QComboBox *m_pPort, *m_pBaud, *m_pByteSize, *m_pParity, *m_pStopBits;
    QLineEdit *m_pSmsc, *m_pPin;
    QLabel *m_pState, *m_pSim, *m_pNetwork, *m_pOperator, *m_pSignal;
    QPushButton *m_pOk, *m_pCancel, *m_pDefaults;
};
