// The device window offscreen: which entry shows a stored text, the port list, "恢复默认",
// the check on OK and the six keys it writes, in their order.
#include "WindowKit.h"
#include "app/CDeviceDlg.h"
#include "base/CSettingsFile.h"
#include "app/DeviceSettingsLogic.h"
#include "base/PinMemory.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

namespace {
const QStringList kPorts = {QStringLiteral("COM1"), QStringLiteral("COM2"), QStringLiteral("COM3"), QStringLiteral("COM4"),
                            QStringLiteral("COM5"), QStringLiteral("COM6"), QStringLiteral("COM7"), QStringLiteral("COM8"),
                            QStringLiteral("COM9"), QStringLiteral("/dev/ttyUSB1"), QStringLiteral("/dev/ttyUSB10")};

void Touch(const QString &path, const QByteArray &content = QByteArray())
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(content);
}
} // namespace

class tst_DeviceDlg : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void storedTextShows_data();
    void storedTextShows();
    void portEntriesOfTheSystem();
    void defaultsThenOkWritesTheKeysInOrder();
    void badEntriesAreRefused_data();
    void badEntriesAreRefused();
    void pinTypedAgainIsTriedAgain();
    void cancelChangesNothing();
    void reportBoxIsOneSwitchForThePool();
    void modemListInSections_data();
    void modemListInSections();
    void nameIsEachModemsOwn();
    void simRulesEachModemsOwn();

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<CSettingsFile> m_file;
    FakeMessageBox m_messages;
};

void tst_DeviceDlg::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    m_file = std::make_unique<CSettingsFile>(m_dir->filePath(QStringLiteral("setting.ini")));
    m_messages.Clear();
}

void tst_DeviceDlg::storedTextShows_data()
{
    QTest::addColumn<QString>("combo");
    QTest::addColumn<QString>("stored");
    QTest::addColumn<int>("index");
    QTest::addColumn<QString>("shown");
    QTest::newRow("port as listed") << "portCombo" << "COM3" << 2 << "COM3";
    QTest::newRow("port in other case") << "portCombo" << "com2" << 1 << "COM2";
    QTest::newRow("port above COM9: its own text") << "portCombo" << "COM12" << -1 << "COM12";
    QTest::newRow("device path, not the longer one") << "portCombo" << "/dev/ttyUSB1" << 9 << "/dev/ttyUSB1";
    QTest::newRow("unlisted device") << "portCombo" << "/dev/pts/7" << -1 << "/dev/pts/7";
    QTest::newRow("baud by its beginning") << "baudCombo" << "192" << 2 << "19200";
    QTest::newRow("baud not in the list") << "baudCombo" << "115200" << -1 << "115200";
    QTest::newRow("parity word") << "parityCombo" << "奇校验" << 1 << "奇校验";
    QTest::newRow("stop bits 1.5") << "stopBitsCombo" << "1.5" << 1 << "1.5";
    QTest::newRow("stop bits 1 is not 1.5") << "stopBitsCombo" << "1" << 0 << "1";
    QTest::newRow("data bits 9 as typed") << "byteSizeCombo" << "9" << -1 << "9";
    QTest::newRow("empty stays empty") << "byteSizeCombo" << "" << -1 << "";
}

void tst_DeviceDlg::storedTextShows()
{
    QFETCH(QString, combo);
    QFETCH(QString, stored);
    QFETCH(int, index);
    QFETCH(QString, shown);
    DeviceSettings s;
    const QString name = combo;
    if (name == QStringLiteral("portCombo"))
        s.m_strCOM = stored;
    else if (name == QStringLiteral("baudCombo"))
        s.m_strBaudRate = stored;
    else if (name == QStringLiteral("parityCombo"))
        s.m_strParity = stored;
    else if (name == QStringLiteral("stopBitsCombo"))
        s.m_strStopBits = stored;
    else
        s.m_strByteSize = stored;
    QVector<DeviceSettings> list{s};
    CDeviceDlg dlg(list, *m_file, m_messages, kPorts);
    auto *c = dlg.findChild<QComboBox *>(name);
    QCOMPARE(c->currentIndex(), index);
    QCOMPARE(c->currentText(), shown);
    // OK writes back what is shown.
    if (!shown.isEmpty()) {
        QTest::mouseClick(Child<QPushButton>(dlg, "okButton"), Qt::LeftButton);
        QVERIFY2(m_messages.shown.isEmpty(), qPrintable(m_messages.Last()));
        QCOMPARE(DeviceSettings::Read(*m_file).m_strCOM, list[0].m_strCOM);
    }
}

void tst_DeviceDlg::portEntriesOfTheSystem()
{
    const QString dev = m_dir->filePath(QStringLiteral("dev"));
    const QString sys = m_dir->filePath(QStringLiteral("sys"));
    for (const char *name : {"ttyUSB10", "ttyUSB2", "ttyACM0", "ttyS0", "ttyS1", "tty0", "serial/by-id/usb-Modem_1234-if00"})
        Touch(dev + QLatin1Char('/') + QLatin1String(name));
    Touch(sys + QStringLiteral("/ttyS0/type"), "4\n");
    Touch(sys + QStringLiteral("/ttyS1/type"), "0\n"); // no port behind it
    const QStringList entries = DeviceSettingsLogic::PortEntries(dev, sys);
    QCOMPARE(entries.first(), QStringLiteral("COM1"));
    QCOMPARE(entries.at(8), QStringLiteral("COM9"));
    QCOMPARE(entries.mid(9), QStringList({dev + QStringLiteral("/ttyS0"), dev + QStringLiteral("/ttyUSB2"),
                                          dev + QStringLiteral("/ttyUSB10"), dev + QStringLiteral("/ttyACM0"),
                                          dev + QStringLiteral("/serial/by-id/usb-Modem_1234-if00")}));
}

void tst_DeviceDlg::defaultsThenOkWritesTheKeysInOrder()
{
    QVERIFY(m_file->WriteString(QStringLiteral("SQL"), QStringLiteral("Data"), QStringLiteral("x")));
    DeviceSettings current;
    current.m_strCOM = QStringLiteral("/dev/ttyUSB10");
    current.m_strBaudRate = QStringLiteral("57600");
    current.m_strSMSC = QStringLiteral("8613010381500");
    current.m_strByteSize = QStringLiteral("7");
    current.m_strParity = QStringLiteral("偶校验");
    current.m_strStopBits = QStringLiteral("2");
    current.m_strPIN = QStringLiteral("1234");
    QVector<DeviceSettings> list{current};
    CDeviceDlg dlg(list, *m_file, m_messages, kPorts);
    QCOMPARE(dlg.windowTitle(), QStringLiteral("设备管理"));
    QTest::mouseClick(Child<QPushButton>(dlg, "defaultsButton"), Qt::LeftButton);
    QCOMPARE(Child<QComboBox>(dlg, "portCombo")->currentIndex(), 0);
    QCOMPARE(Child<QComboBox>(dlg, "parityCombo")->currentIndex(), 2);
    QCOMPARE(list[0].m_strCOM, QStringLiteral("/dev/ttyUSB10")); // nothing taken before OK
    QTest::mouseClick(Child<QPushButton>(dlg, "okButton"), Qt::LeftButton);
    QCOMPARE(dlg.result(), int(QDialog::Accepted));
    QVERIFY(m_messages.shown.isEmpty());

    QFile f(m_file->Path());
    QVERIFY(f.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(f.readAll());
    const QString system = text.mid(text.indexOf(QStringLiteral("[SYSTEM]")));
    QCOMPARE(system.split(QLatin1Char('\n'), Qt::SkipEmptyParts),
             QStringList({QStringLiteral("[SYSTEM]"), QStringLiteral("COM=COM1"), QStringLiteral("BaudRate=9600"),
                          QStringLiteral("SMSC=8613010381500"), QStringLiteral("ByteSize=8"), QStringLiteral("Parity=无"),
                          QStringLiteral("StopBits=1"), QStringLiteral("PIN=1234"), QStringLiteral("Name="),
                          QStringLiteral("Report=0"), QStringLiteral("Share=0"), QStringLiteral("OptOutWords=TD,T,N,R,退订,STOP")}));
    // The application's settings, which the next connect takes.
    QCOMPARE(list[0].m_strCOM, QStringLiteral("COM1"));
    QCOMPARE(list[0].m_strBaudRate, QStringLiteral("9600"));
    QCOMPARE(list[0].m_strSMSC, QStringLiteral("8613010381500"));
    QCOMPARE(list[0].StopBitsCode(), quint8(0));
}

void tst_DeviceDlg::badEntriesAreRefused_data()
{
    QTest::addColumn<QString>("control");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("message");
    const QString portOrSmsc = QStringLiteral("请正确设置端口和SMSC!");
    const QString pin = QStringLiteral("PIN码必须是4到8位数字");
    QTest::newRow("no port") << "portCombo" << "" << portOrSmsc;
    QTest::newRow("no baud rate") << "baudCombo" << "" << portOrSmsc;
    QTest::newRow("no SMSC") << "smscEdit" << "" << portOrSmsc;
    QTest::newRow("PIN of three digits") << "pinEdit" << "123" << pin;
    QTest::newRow("PIN with a letter") << "pinEdit" << "12a4" << pin;
    const QString rules = QStringLiteral("发送上限和发送间隔必须是整数");
    const QString quiet = QStringLiteral("静默时段请填写开始和结束时间, 如 21:00 至 08:00");
    QTest::newRow("daily limit not a number") << "limitDayEdit" << "五百" << rules;
    QTest::newRow("pause below zero") << "intervalMinEdit" << "-5" << rules;
    QTest::newRow("quiet hours begin without an end") << "quietFromEdit" << "21:00" << quiet;
    QTest::newRow("quiet hours at no time") << "quietToEdit" << "25:00" << quiet;
}

void tst_DeviceDlg::badEntriesAreRefused()
{
    QFETCH(QString, control);
    QFETCH(QString, text);
    QFETCH(QString, message);
    QVector<DeviceSettings> current{DeviceSettings()};
    CDeviceDlg dlg(current, *m_file, m_messages, kPorts);
    dlg.show();
    if (auto *c = dlg.findChild<QComboBox *>(control))
        c->setEditText(text);
    else
        dlg.findChild<QLineEdit *>(control)->setText(text);
    QTest::mouseClick(Child<QPushButton>(dlg, "okButton"), Qt::LeftButton);
    QCOMPARE(m_messages.Texts(), QStringList({message}));
    QCOMPARE(m_messages.shown.first().caption, QString());
    QVERIFY(dlg.isVisible());
    QVERIFY(!QFile::exists(m_file->Path()));
}

// A PIN the SIM refused stays refused while the dialog is saved for other reasons, and is
// tried again once the operator types it (even the same one) into the field, shown as dots.
void tst_DeviceDlg::pinTypedAgainIsTriedAgain()
{
    DeviceSettings current;
    current.m_strPIN = QStringLiteral("1234");
    QVERIFY(current.Write(*m_file));
    QVERIFY(PinMemory::Remember(*m_file, DeviceSettings::kSection, current.m_strPIN));
    QVector<DeviceSettings> list{current};
    {
        CDeviceDlg dlg(list, *m_file, m_messages, kPorts);
        auto *pin = Child<QLineEdit>(dlg, "pinEdit");
        QCOMPARE(pin->text(), QStringLiteral("1234"));
        QVERIFY(!pin->displayText().contains(QStringLiteral("1234")));
        Child<QLineEdit>(dlg, "smscEdit")->setText(QStringLiteral("8613010381500"));
        QTest::mouseClick(Child<QPushButton>(dlg, "okButton"), Qt::LeftButton);
        QCOMPARE(dlg.result(), int(QDialog::Accepted));
    }
    QVERIFY(PinMemory::IsRefused(*m_file, DeviceSettings::kSection, QStringLiteral("1234")));
    CDeviceDlg dlg(list, *m_file, m_messages, kPorts);
    auto *pin = Child<QLineEdit>(dlg, "pinEdit");
    pin->clear();
    QTest::keyClicks(pin, QStringLiteral("1234"));
    QTest::mouseClick(Child<QPushButton>(dlg, "okButton"), Qt::LeftButton);
    QCOMPARE(dlg.result(), int(QDialog::Accepted));
    QVERIFY(!PinMemory::IsRefused(*m_file, DeviceSettings::kSection, QStringLiteral("1234")));
    QCOMPARE(DeviceSettings::Read(*m_file).m_strPIN, QStringLiteral("1234"));
    QVERIFY(m_messages.shown.isEmpty());
}

// "请求送达回执": off at first; on, it is [SYSTEM] Report=1, and every modem of the pool asks.
void tst_DeviceDlg::reportBoxIsOneSwitchForThePool()
{
    QVector<DeviceSettings> current{DeviceSettings()};
    {
        CDeviceDlg dlg(current, *m_file, m_messages, kPorts);
        QCheckBox *box = Child<QCheckBox>(dlg, "reportCheck");
        QCOMPARE(box->text(), QStringLiteral("请求送达回执"));
        QVERIFY(!box->isChecked());
        QTest::mouseClick(Child<QPushButton>(dlg, "addModemButton"), Qt::LeftButton);
        Child<QComboBox>(dlg, "portCombo")->setEditText(QStringLiteral("COM2"));
        box->setChecked(true);
        // The opt-out words are the pool's too, typed on whichever modem is shown.
        QLineEdit *words = Child<QLineEdit>(dlg, "optOutWordsEdit");
        QCOMPARE(words->text(), QStringLiteral("TD,T,N,R,退订,STOP"));
        words->setText(QStringLiteral(" 退订,QX "));
        QTest::mouseClick(Child<QPushButton>(dlg, "okButton"), Qt::LeftButton);
        QCOMPARE(dlg.result(), int(QDialog::Accepted));
    }
    QCOMPARE(m_file->ReadString(QStringLiteral("SYSTEM"), QStringLiteral("Report"), QString()), QStringLiteral("1"));
    QCOMPARE(m_file->ReadString(QStringLiteral("SYSTEM"), QStringLiteral("OptOutWords"), QString()), QStringLiteral("退订,QX"));
    QCOMPARE(current[1].m_strOptOutWords, QStringLiteral("退订,QX"));
    const QVector<DeviceSettings> read = DeviceSettings::ReadList(*m_file);
    QCOMPARE(read.size(), 2);
    QVERIFY(read[0].m_bReport && read[1].m_bReport);
    QCOMPARE(current.size(), 2);
    QVERIFY(current[0].m_bReport);
    CDeviceDlg again(current, *m_file, m_messages, kPorts);
    QVERIFY(Child<QCheckBox>(again, "reportCheck")->isChecked());
}

void tst_DeviceDlg::cancelChangesNothing()
{
    QVector<DeviceSettings> current{DeviceSettings()};
    CDeviceDlg dlg(current, *m_file, m_messages, kPorts);
    Child<QLineEdit>(dlg, "smscEdit")->setText(QStringLiteral("123"));
    QTest::mouseClick(Child<QPushButton>(dlg, "cancelButton"), Qt::LeftButton);
    QCOMPARE(dlg.result(), int(QDialog::Rejected));
    QCOMPARE(current[0].m_strSMSC, DeviceSettings().m_strSMSC);
    QVERIFY(!QFile::exists(m_file->Path()));
}

void tst_DeviceDlg::modemListInSections_data()
{
    QTest::addColumn<int>("removed"); // -1: none
    QTest::addColumn<QStringList>("ports");
    QTest::addColumn<QStringList>("refused"); // the refused PIN of each section, "" none
    QTest::newRow("as stored") << -1 << QStringList{QStringLiteral("COM1"), QStringLiteral("/dev/ttyUSB1"), QStringLiteral("/dev/ttyUSB2")}
                               << QStringList{QString(), QStringLiteral("2222"), QString()};
    QTest::newRow("the second removed: the third moves up without its refusal")
        << 1 << QStringList{QStringLiteral("COM1"), QStringLiteral("/dev/ttyUSB2")} << QStringList{QString(), QString()};
    QTest::newRow("the third removed: the second keeps its refusal")
        << 2 << QStringList{QStringLiteral("COM1"), QStringLiteral("/dev/ttyUSB1")} << QStringList{QString(), QStringLiteral("2222")};
}

// The modems of a pool in their sections: read in order, an empty key as the first modem's,
// written back with the sections of removed modems gone, and a PIN a SIM refused staying with
// its modem wherever the list moves it.
void tst_DeviceDlg::modemListInSections()
{
    QFETCH(int, removed);
    QFETCH(QStringList, ports);
    QFETCH(QStringList, refused);
    QVERIFY(m_file->WriteString(QStringLiteral("SYSTEM"), QStringLiteral("COM"), QStringLiteral("COM1")));
    QVERIFY(m_file->WriteString(QStringLiteral("SYSTEM"), QStringLiteral("BaudRate"), QStringLiteral("19200")));
    QVERIFY(m_file->WriteString(QStringLiteral("MODEM2"), QStringLiteral("COM"), QStringLiteral("/dev/ttyUSB1")));
    QVERIFY(m_file->WriteString(QStringLiteral("MODEM2"), QStringLiteral("PIN"), QStringLiteral("2222")));
    QVERIFY(PinMemory::Remember(*m_file, QStringLiteral("MODEM2"), QStringLiteral("2222")));
    QVERIFY(m_file->WriteString(QStringLiteral("MODEM3"), QStringLiteral("COM"), QStringLiteral("/dev/ttyUSB2")));
    QVERIFY(m_file->WriteString(QStringLiteral("MODEM3"), QStringLiteral("SMSC"), QStringLiteral("8613010381500")));
    QVERIFY(PinMemory::Remember(*m_file, QStringLiteral("MODEM5"), QStringLiteral("5555"))); // no modem: no port

    QVector<DeviceSettings> current = DeviceSettings::ReadList(*m_file);
    QCOMPARE(current.size(), 3);
    const DeviceSettings third = current[2].Resolved(current[0]);
    QCOMPARE(third.m_strBaudRate, QStringLiteral("19200")); // as the first
    QCOMPARE(third.m_strSMSC, QStringLiteral("8613010381500")); // its own

    QVector<DeviceSettings> edited = current;
    QVector<int> origins{0, 1, 2};
    if (removed >= 0) {
        edited.removeAt(removed);
        origins.removeAt(removed);
    }
    const DeviceSettingsLogic::Result r
        = DeviceSettingsLogic::SaveList(*m_file, current, edited, origins, QVector<bool>(edited.size(), false));
    QVERIFY2(r.m_bOk, qPrintable(r.m_strMessage));
    QStringList storedPorts, storedRefusals;
    for (const DeviceSettings &d : DeviceSettings::ReadList(*m_file))
        storedPorts << d.m_strCOM;
    QCOMPARE(storedPorts, ports);
    for (int i = 0; i < ports.size(); ++i) {
        const QString section = DeviceSettings::SectionOf(i);
        storedRefusals << (PinMemory::IsRefused(*m_file, section, QStringLiteral("2222")) ? QStringLiteral("2222") : QString());
    }
    QCOMPARE(storedRefusals, refused);
    QCOMPARE(current.size(), ports.size());
    if (removed >= 0)
        QCOMPARE(m_file->ReadString(QStringLiteral("MODEM3"), QStringLiteral("COM"), QString()), QString());
}

// "名称": what the status bar and the tray call a modem. A further modem without one is called
// by its port, never by the first modem's name.
void tst_DeviceDlg::nameIsEachModemsOwn()
{
    QVERIFY(m_file->WriteString(QStringLiteral("SYSTEM"), QStringLiteral("COM"), QStringLiteral("COM1")));
    QVERIFY(m_file->WriteString(QStringLiteral("SYSTEM"), QStringLiteral("Name"), QStringLiteral("一号猫")));
    QVERIFY(m_file->WriteString(QStringLiteral("MODEM2"), QStringLiteral("COM"), QStringLiteral("/dev/ttyUSB1")));
    QVector<DeviceSettings> current = DeviceSettings::ReadList(*m_file);
    QCOMPARE(current[1].Resolved(current[0]).ShortName(), QStringLiteral("ttyUSB1"));

    CDeviceDlg dlg(current, *m_file, m_messages, kPorts);
    auto *name = Child<QLineEdit>(dlg, "nameEdit");
    QCOMPARE(name->text(), QStringLiteral("一号猫"));
    auto *list = Child<QListWidget>(dlg, "modemList");
    list->setCurrentRow(1);
    QCOMPARE(name->text(), QString());
    QCOMPARE(name->placeholderText(), QStringLiteral("ttyUSB1"));
    name->setText(QStringLiteral("二号猫"));
    QCOMPARE(list->item(1)->text(), QStringLiteral("2. 二号猫 (/dev/ttyUSB1)"));
    QTest::mouseClick(Child<QPushButton>(dlg, "okButton"), Qt::LeftButton);
    QCOMPARE(dlg.result(), int(QDialog::Accepted));
    QCOMPARE(m_file->ReadString(QStringLiteral("MODEM2"), QStringLiteral("Name"), QString()), QStringLiteral("二号猫"));
    QStringList names;
    for (const DeviceSettings &d : DeviceSettings::ReadList(*m_file))
        names << d.ShortName();
    QCOMPARE(names, (QStringList{QStringLiteral("一号猫"), QStringLiteral("二号猫")}));
    QCOMPARE(current[1].m_strName, QStringLiteral("二号猫"));
}

// The limits and the pause are each modem's own (a further modem's empty field: as the first
// modem); the quiet hours are the pool's, kept in [SYSTEM].
void tst_DeviceDlg::simRulesEachModemsOwn()
{
    QVector<DeviceSettings> current{DeviceSettings()};
    {
        CDeviceDlg dlg(current, *m_file, m_messages, kPorts);
        Child<QLineEdit>(dlg, "limitDayEdit")->setText(QStringLiteral("500"));
        Child<QLineEdit>(dlg, "intervalMinEdit")->setText(QStringLiteral("5"));
        Child<QLineEdit>(dlg, "intervalMaxEdit")->setText(QStringLiteral("20"));
        Child<QLineEdit>(dlg, "quietFromEdit")->setText(QStringLiteral("21:00"));
        Child<QLineEdit>(dlg, "quietToEdit")->setText(QStringLiteral("08:00"));
        QTest::mouseClick(Child<QPushButton>(dlg, "addModemButton"), Qt::LeftButton);
        Child<QComboBox>(dlg, "portCombo")->setEditText(QStringLiteral("COM2"));
        QCOMPARE(Child<QLineEdit>(dlg, "limitDayEdit")->placeholderText(), QStringLiteral("同第一台"));
        Child<QLineEdit>(dlg, "limitHourEdit")->setText(QStringLiteral("40"));
        QTest::mouseClick(Child<QPushButton>(dlg, "okButton"), Qt::LeftButton);
        QCOMPARE(dlg.result(), int(QDialog::Accepted));
    }
    QCOMPARE(m_file->ReadString(QStringLiteral("SYSTEM"), QStringLiteral("LimitDay"), QString()), QStringLiteral("500"));
    QCOMPARE(m_file->ReadString(QStringLiteral("SYSTEM"), QStringLiteral("QuietFrom"), QString()), QStringLiteral("21:00"));
    QCOMPARE(m_file->ReadString(QStringLiteral("MODEM2"), QStringLiteral("LimitHour"), QString()), QStringLiteral("40"));
    const QVector<DeviceSettings> read = DeviceSettings::ReadList(*m_file);
    const SimRules second = read.at(1).Resolved(read.at(0)).Rules();
    QCOMPARE(second.limitHour, 40);
    QCOMPARE(second.limitDay, 500);
    QCOMPARE(second.intervalMax, 20);
    QCOMPARE(second.quietTo, QTime(8, 0));
    QCOMPARE(read.at(0).Rules().limitHour, 0);
}

QTEST_MAIN(tst_DeviceDlg)
#include "tst_devicedlg.moc"
