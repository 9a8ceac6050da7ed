#pragma once
// The device window: port, speed, service centre and framing of the modem. It copies its
// controls into DeviceSettingsLogic and shows what that returns; the open port is left
// alone, the values count from the next connect.
#include "base/DeviceSettings.h"

#include <QDialog>
#include <QStringList>

class CSettingsFile;
class IMessageBox;
class QComboBox;
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

private:
    void Show(const DeviceSettings &s);
    void OnDefaults();
    void OnOk();

    DeviceSettings &m_current;
    CSettingsFile &m_file;
    IMessageBox &m_messages;
    const QStringList m_ports;
    QComboBox *m_pPort, *m_pBaud, *m_pByteSize, *m_pParity, *m_pStopBits;
    QLineEdit *m_pSmsc;
    QPushButton *m_pOk, *m_pCancel, *m_pDefaults;
};
