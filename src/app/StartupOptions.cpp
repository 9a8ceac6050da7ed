#include "StartupOptions.h"

#include <QFileInfo>

namespace {

// The options that take a value, each under its names. Each --device adds a modem to the
// run's pool; of the settings file, the last one given holds.
struct ValueOption
{
    const char *name;
    void (*store)(StartupOptions &, const QString &);
};
const ValueOption kValueOptions[] = {
    {"--config", [](StartupOptions &o, const QString &v) { o.m_strSettingsPath = v; }},
    {"--settings", [](StartupOptions &o, const QString &v) { o.m_strSettingsPath = v; }},
    {"--device", [](StartupOptions &o, const QString &v) { o.m_devices << v; }},
};

} // namespace

StartupOptions StartupOptions::Parse(const QStringList &arguments)
{
    StartupOptions o;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString &a = arguments.at(i);
        if (a == QLatin1String("--help") || a == QLatin1String("-h")) {
            o.m_bHelp = true;
            continue;
        }
        if (a == QLatin1String("--version")) {
            o.m_bVersion = true;
            continue;
        }
        const ValueOption *option = nullptr;
        QString value;
        for (const ValueOption &v : kValueOptions) {
            const QString name = QLatin1String(v.name);
            if (a == name) {
                if (i + 1 >= arguments.size()) {
                    o.m_strError = a + QStringLiteral(" 需要一个参数");
                    return o;
                }
                option = &v;
                value = arguments.at(++i);
            } else if (a.startsWith(name + QLatin1Char('='))) {
                option = &v;
                value = a.mid(name.size() + 1);
            }
            if (option)
                break;
        }
        if (!option) {
            o.m_strError = QStringLiteral("无法识别的参数: ") + a;
            return o;
        }
        if (value.isEmpty()) {
            o.m_strError = QLatin1String(option->name) + QStringLiteral(" 需要一个参数");
            return o;
        }
        option->store(o, value);
    }
    if (!o.m_strSettingsPath.isEmpty())
        o.m_strSettingsPath = QFileInfo(o.m_strSettingsPath).absoluteFilePath();
    return o;
}

QString StartupOptions::Usage()
{
    return QStringLiteral("用法: skevo [--config 设置文件] [--device 串口设备] [--help] [--version]");
}

QString StartupOptions::Help()
{
    return QStringLiteral(R"(Usage: skevo [--config FILE] [--device DEVICE]
Sends SMS in bulk through a GSM modem on a serial port, and receives, stores, searches
and answers the messages that arrive on it. The windows speak Chinese. Log in as admin /
admin on a new database, then connect the modem (Ctrl+Q).

Options:
  --config FILE     use FILE as the settings file instead of the default one (see
                    Files)
  --device DEVICE   the modem's serial device for this run only (/dev/ttyUSB0, a
                    pseudo-terminal); the settings file keeps its own; given
                    again, each DEVICE is one modem of a pool
  -h, --help        show this help and exit
  --version         show the version and exit

Files:
  ~/.config/skevo/setting.ini
                    the settings file of an installed Skevo (under $XDG_CONFIG_HOME when
                    set), written with the defaults at the first start: the database
                    (section SQL) and the modem (section SYSTEM)
  ~/.local/share/skevo/MYSKEVO.db
                    the SQLite database of an installed Skevo (under $XDG_DATA_HOME when
                    set), made with its tables and the first administrator at the first
                    start; the key Data of section SQL names it, and an absolute Data
                    names the file itself
  setting.ini, MYSKEVO.db
                    in the working directory when Skevo runs from its build folder; the
                    database lies beside the settings file there, also one named by
                    --config

Only one Skevo runs for each user. The modem's device must be readable and writable for
the user: add the user to the group dialout (sudo adduser USER dialout, then log in
again). The same work without windows: skevo-cli(1).
)");
}

QString StartupOptions::Version()
{
    return QStringLiteral("skevo " SKEVO_VERSION);
}
