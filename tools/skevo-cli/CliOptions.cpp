#include "CliOptions.h"

CliOptions CliOptions::Parse(const QStringList &arguments)
{
    CliOptions o;
    qsizetype i = 0;
    // Only before the command: after it, every word belongs to the command (a text may
    // well read "--config").
    for (; i < arguments.size() && arguments.at(i).startsWith(QLatin1Char('-')); ++i) {
        const QString &a = arguments.at(i);
        if (a == QLatin1String("--help") || a == QLatin1String("-h")) {
            o.m_bHelp = true;
        } else if (a == QLatin1String("--version")) {
            o.m_bVersion = true;
        } else if (a == QLatin1String("--config")) {
            if (i + 1 >= arguments.size() || arguments.at(i + 1).isEmpty()) {
                o.m_strError = QStringLiteral("--config needs a file");
                return o;
            }
            o.m_strConfig = arguments.at(++i);
        } else if (a.startsWith(QLatin1String("--config="))) {
            o.m_strConfig = a.mid(9);
            if (o.m_strConfig.isEmpty()) {
                o.m_strError = QStringLiteral("--config needs a file");
                return o;
            }
        } else {
            o.m_strError = QStringLiteral("unknown option \"%1\"").arg(a);
            return o;
        }
    }
    o.m_command = arguments.mid(i);
    return o;
}

QString CliOptions::Help()
{
    return QStringLiteral(R"(Usage: skevo-cli [--config FILE] COMMAND [ARGUMENT]...
  or:  skevo-cli --help | --version
Sends, receives and stores SMS through a GSM modem on a serial port, without windows: the
work of the Skevo application, on the same settings file and database, through the same
code. A refusal or bad input exits with 2, a failure with 1.

Options:
  --config FILE     use FILE as the settings file instead of the default one (see
                    Files); it comes before the command
  -h, --help        show this help and exit
  --version         show the version and exit

Commands:
  init-db           create the tables and the first administrator (admin / admin)
  send              queue a text for numbers and send it: --text TEXT with --to NUMBER
                    (repeatable) or --numbers FILE (a number file: "start", a number a
                    line, "end"), each phone once however it is written; without text
                    and numbers, send what an earlier run kept. After --timeout SECONDS
                    (120) without progress it gives up and keeps the queue
  listen            journal the arrivals until stopped, or for --seconds S
  serve             stay connected: send what is queued, start due orders, journal every
                    arrival, one line per report on standard output; SIGINT or SIGTERM
                    stops it, and what is queued stays kept for the next start;
                    --http [ADDRESS:]PORT (or [HTTP] Listen=) serves the HTTP API
                    (127.0.0.1:8080 when given without a value; port 0: a free one)
  orders            add --start "YYYY-MM-DD HH:MM" --end "YYYY-MM-DD HH:MM" --text TEXT
                    --numbers FILE | list | delete ID: the send orders
  user              list | add NAME [--level admin|user] | passwd NAME | delete NAME:
                    the accounts
  token             add NAME | list | revoke NAME: the tokens of the HTTP API (serve
                    --http); add prints the new token once
  export            (--sent | --received | --all) [--number N] [--day YYYY-MM-DD]
                    [--text T] [--order O] [--failed]
                    [--report delivered|undelivered|waiting] [--csv] FILE: the log
                    export as GBK text, or as UTF-8 CSV with --csv; FILE - is standard
                    output
  phonebook         list | import FILE | export FILE: the phone book as CSV
  generate          SEGMENT [--need DIGITS] [--avoid DIGITS]: the number generator, one
                    number a line
  pdu               decode HEX | encode [--smsc S] --to N --text T [--dcs D] [--ref R]:
                    an SMS PDU as JSON, or the PDU of a text

Numbers: without "+" a number is Chinese and gets "86" in front unless it begins with
"86"; with "+" it keeps its country code (+85291234567 goes to Hong Kong), except "+"
before a Chinese mobile number (11 digits, 1 then 3 to 9), which goes to China.

The modem commands (send, listen, serve) also take --device DEV, --baud B, --timeout-ms MS
and --prompt-ms MS; --device and --baud override the settings file for the run.

Files:
  ~/.config/skevo/setting.ini
                    the settings file of an installed skevo-cli (under $XDG_CONFIG_HOME
                    when set), written with the defaults at the first start and shared
                    with the application
  ~/.local/share/skevo/MYSKEVO.db
                    the SQLite database of an installed skevo-cli (under $XDG_DATA_HOME
                    when set); the key Data of section SQL names it, and an absolute Data
                    names the file itself
  setting.ini, MYSKEVO.db
                    in the working directory when skevo-cli runs from its build folder
  /etc/skevo/setting.ini, /var/lib/skevo/skevo.db
                    the settings and the database of the packaged service skevo-serve,
                    which runs skevo-cli --config /etc/skevo/setting.ini serve as the
                    user skevo

The modem's device must be readable and writable for the user: add the user to the group
dialout (sudo adduser USER dialout, then log in again).

Examples:
  $ skevo-cli init-db
  $ skevo-cli send --device /dev/ttyUSB0 --to 13800000000 --text "hello"
  $ sudo systemctl enable --now skevo-serve
)");
}
