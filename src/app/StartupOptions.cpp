#include "StartupOptions.h"

#include <QFileInfo>

StartupOptions StartupOptions::Parse(const QStringList &arguments)
{
    StartupOptions o;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString &a = arguments.at(i);
        QString *target = nullptr;
        QString value;
        if (a == QStringLiteral("--settings") || a == QStringLiteral("--device")) {
            target = a == QStringLiteral("--settings") ? &o.m_strSettingsPath : &o.m_strDevice;
            if (i + 1 >= arguments.size()) {
                o.m_strError = a + QStringLiteral(" 需要一个参数");
                return o;
            }
            value = arguments.at(++i);
        } else if (a.startsWith(QStringLiteral("--settings="))) {
            target = &o.m_strSettingsPath;
            value = a.mid(11);
        } else if (a.startsWith(QStringLiteral("--device="))) {
            target = &o.m_strDevice;
            value = a.mid(9);
        } else {
            o.m_strError = QStringLiteral("无法识别的参数: ") + a;
            return o;
        }
        if (value.isEmpty()) {
            o.m_strError = a + QStringLiteral(" 需要一个参数");
            return o;
        }
        *target = value;
    }
    if (!o.m_strSettingsPath.isEmpty())
        o.m_strSettingsPath = QFileInfo(o.m_strSettingsPath).absoluteFilePath();
    return o;
}

QString StartupOptions::Usage()
{
    return QStringLiteral("用法: skevo [--settings 设置文件] [--device 串口设备]");
}
