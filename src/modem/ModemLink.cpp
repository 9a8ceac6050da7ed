#include "ModemLink.h"

#include "base/CSettingsFile.h"
#include "base/PinMemory.h"

ModemLink::ModemLink(CSmsModem &modem, CSettingsFile *settings)
    : m_modem(modem)
    , m_pSettings(settings)
{
}

QString ModemLink::PortName(const DeviceSettings &device) const
{
    return m_strPortOverride.isEmpty() ? device.m_strCOM : m_strPortOverride;
}

quint32 ModemLink::BaudRate(const DeviceSettings &device) const
{
    return m_nBaudOverride > 0 ? m_nBaudOverride : device.BaudRateValue();
}

ModemConfig ModemLink::ConfigFor(const DeviceSettings &device) const
{
    ModemConfig config = m_modem.Config();
    config.pin = device.m_strPIN;
    config.pinRefused = m_pSettings && PinMemory::IsRefused(*m_pSettings, DeviceSettings::kSection, config.pin);
    CSettingsFile *settings = m_pSettings;
    config.onPinRefused = [settings](const QString &pin) {
        if (settings && !PinMemory::Remember(*settings, DeviceSettings::kSection, pin))
            qWarning("the refused PIN could not be written to %s", qPrintable(settings->Path()));
    };
    return config;
}

ModemLink::Result ModemLink::Connect(const DeviceSettings &device)
{
    Result r;
    if (m_bConnected) {
        r.m_bOk = true;
        return r;
    }
    m_modem.SetConfig(ConfigFor(device));
    if (!m_modem.Open(PortName(device), BaudRate(device), device.ByteSizeValue(), device.ParityCode(),
                      device.StopBitsCode())) {
        // Another program holding the port is the usual cause; a name that names no device is
        // said as such, or the operator would look for a program that is not there.
        r.m_strMessage = m_modem.DeviceMissing()
            ? QStringLiteral("串口不存在: ") + CSerialPort::DevicePath(PortName(device))
            : QStringLiteral("打开串口失败,别一个程序正在使用该串口\n请先关闭使用该串口的应用程序");
        r.m_strCause = m_modem.ErrorString();
        return r;
    }
    if (!m_modem.InitModem()) {
        m_modem.Close();
        r.m_strMessage = QStringLiteral("请检查短信猫是否连接正确");
        return r;
    }
    if (!m_bOutboxRestored) {
        int journalled = 0;
        r.m_nRestored = m_modem.RestoreOutbox(&journalled);
        r.m_nRestored += journalled;
        m_bOutboxRestored = true;
    }
    if (!m_modem.StartThread()) {
        m_modem.Close();
        r.m_strMessage = QStringLiteral("请检查短信猫是否连接正确");
        return r;
    }
    m_bConnected = true;
    r.m_bOk = true;
    return r;
}

void ModemLink::Disconnect()
{
    m_modem.StopThread();
    if (m_modem.IsOpen())
        m_modem.Close();
    m_bConnected = false;
}

void ModemLink::ApplyPin(const DeviceSettings &device)
{
    const ModemConfig config = ConfigFor(device);
    m_modem.SetPin(config.pin, config.pinRefused);
}
