#include "base/CSettingsFile.h"
#include "base/DbSettings.h"
#include "base/DeviceSettings.h"
#include "base/GbkText.h"
#include "base/SqlSettings.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QtEndian>
#include <QTemporaryDir>
#include <QTest>

class tst_SettingsFile : public QObject
{
    Q_OBJECT
private slots:
    void missingFileGivesDefaults();
    void writeCreatesFileAndReadsBack();
    void valuesAreUsedWhole();
    void gbkFileIsRead();
    void editsAreSeenWithoutCaching();
    void otherSectionsAndKeysSurviveAWrite();
    void readInt_data();
    void readInt();
    void parityAndStopBits_data();
    void parityAndStopBits();
    void gbkByteLength();
    void strictGbkIsWhatGbkReadersRead();
    void readmeExamplesWorkAsTheyStand();
    void sqlSection_data();
    void sqlSection();

private:
    QTemporaryDir m_dir;
    QString path(const char *name) { return m_dir.filePath(QString::fromLatin1(name)); }
};

void tst_SettingsFile::missingFileGivesDefaults()
{
    CSettingsFile file(path("none.ini"));
    const DeviceSettings s = DeviceSettings::Read(file);
    QCOMPARE(s.m_strCOM, QStringLiteral("COM1"));
    QCOMPARE(s.m_strBaudRate, QStringLiteral("9600"));
    QCOMPARE(s.m_strSMSC, QStringLiteral("8613800591500"));
    QCOMPARE(s.m_strByteSize, QStringLiteral("8"));
    QCOMPARE(s.m_strParity, QStringLiteral("无"));
    QCOMPARE(s.m_strStopBits, QStringLiteral("1"));
    QCOMPARE(s.ParityCode(), quint8(0));
    QCOMPARE(file.ReadString(QStringLiteral("SQL"), QStringLiteral("Data"), QStringLiteral("MYSKEVO")), QStringLiteral("MYSKEVO"));
    QVERIFY(!QFile::exists(file.Path()));
}

void tst_SettingsFile::writeCreatesFileAndReadsBack()
{
    CSettingsFile file(path("new.ini"));
    DeviceSettings s;
    s.m_strCOM = QStringLiteral("/dev/ttyUSB2");
    s.m_strParity = QStringLiteral("偶校验");
    QVERIFY(s.Write(file));
    QVERIFY(QFile::exists(file.Path()));
    const DeviceSettings back = DeviceSettings::Read(file);
    QCOMPARE(back.m_strCOM, QStringLiteral("/dev/ttyUSB2"));
    QCOMPARE(back.m_strParity, QStringLiteral("偶校验"));
    QCOMPARE(back.ParityCode(), quint8(2));
    QFile raw(file.Path());
    QVERIFY(raw.open(QIODevice::ReadOnly));
    const QByteArray bytes = raw.readAll();
    QVERIFY(bytes.contains("[SYSTEM]\nCOM=/dev/ttyUSB2\nBaudRate=9600\nSMSC=8613800591500"));
    QVERIFY(bytes.contains("Parity=\xE5\x81\xB6\xE6\xA0\xA1\xE9\xAA\x8C")); // UTF-8 of 偶校验
}

void tst_SettingsFile::valuesAreUsedWhole()
{
    CSettingsFile file(path("long.ini"));
    const QString host = QStringLiteral("database-server.example.internal");
    QVERIFY(host.size() > 19);
    QVERIFY(file.WriteString(QStringLiteral("SQL"), QStringLiteral("Host"), host));
    QCOMPARE(file.ReadString(QStringLiteral("SQL"), QStringLiteral("Host"), QString()), host);
}

void tst_SettingsFile::gbkFileIsRead()
{
    QFile raw(path("gbk.ini"));
    QVERIFY(raw.open(QIODevice::WriteOnly));
    // Written by the older program in GBK, one line added later in UTF-8: each line reads right.
    raw.write("[SYSTEM]\r\nParity=" + GbkText::ToGbk(QStringLiteral("奇校验")) + "\r\n[MSG]\r\nMESSAGE="
              + GbkText::ToGbk(QStringLiteral("你好,世界")) + "\r\n[Check]\r\nMid=" + QStringLiteral("铃声.mid").toUtf8() + "\r\n");
    raw.close();
    CSettingsFile file(raw.fileName());
    QCOMPARE(file.ReadString(QStringLiteral("Check"), QStringLiteral("Mid"), QString()), QStringLiteral("铃声.mid"));
    QCOMPARE(file.ReadString(QStringLiteral("SYSTEM"), QStringLiteral("Parity"), QString()), QStringLiteral("奇校验"));
    QCOMPARE(file.ReadString(QStringLiteral("MSG"), QStringLiteral("MESSAGE"), QString()), QStringLiteral("你好,世界"));
    // A write converts the whole file to UTF-8 and keeps what it did not touch.
    QVERIFY(file.WriteString(QStringLiteral("Check"), QStringLiteral("Play"), QStringLiteral("0")));
    QCOMPARE(file.ReadString(QStringLiteral("MSG"), QStringLiteral("MESSAGE"), QString()), QStringLiteral("你好,世界"));
    QCOMPARE(file.ReadInt(QStringLiteral("Check"), QStringLiteral("Play"), 1), 0);
}

void tst_SettingsFile::editsAreSeenWithoutCaching()
{
    CSettingsFile file(path("edit.ini"));
    QVERIFY(file.WriteString(QStringLiteral("SQL"), QStringLiteral("User"), QStringLiteral("a")));
    CSettingsFile other(file.Path());
    QVERIFY(other.WriteString(QStringLiteral("SQL"), QStringLiteral("User"), QStringLiteral("b")));
    QCOMPARE(file.ReadString(QStringLiteral("SQL"), QStringLiteral("User"), QString()), QStringLiteral("b"));
}

void tst_SettingsFile::otherSectionsAndKeysSurviveAWrite()
{
    QFile raw(path("keep.ini"));
    QVERIFY(raw.open(QIODevice::WriteOnly));
    raw.write("; comment\n[sql]\nHost=h\nUser=u\n\n[Check]\nPlay=1\n");
    raw.close();
    CSettingsFile file(raw.fileName());
    QVERIFY(file.WriteString(QStringLiteral("SQL"), QStringLiteral("Psw"), QStringLiteral("p")));
    QVERIFY(file.WriteString(QStringLiteral("SQL"), QStringLiteral("host"), QStringLiteral("h2")));
    QCOMPARE(file.ReadString(QStringLiteral("SQL"), QStringLiteral("Host"), QString()), QStringLiteral("h2"));
    QCOMPARE(file.ReadString(QStringLiteral("SQL"), QStringLiteral("User"), QString()), QStringLiteral("u"));
    QCOMPARE(file.ReadString(QStringLiteral("SQL"), QStringLiteral("Psw"), QString()), QStringLiteral("p"));
    QCOMPARE(file.ReadInt(QStringLiteral("Check"), QStringLiteral("Play"), 0), 1);
    QVERIFY(raw.open(QIODevice::ReadOnly));
    QVERIFY(raw.readAll().startsWith("; comment\n[sql]\nHost=h2\nUser=u\nPsw=p\n"));
}

void tst_SettingsFile::readInt_data()
{
    QTest::addColumn<QString>("value");
    QTest::addColumn<int>("expected");
    QTest::newRow("zero") << QStringLiteral("0") << 0;
    QTest::newRow("one") << QStringLiteral("1") << 1;
    QTest::newRow("digits then words") << QStringLiteral("12abc") << 12;
    QTest::newRow("not a number gives the default") << QStringLiteral("yes") << 7;
    QTest::newRow("empty gives the default") << QString() << 7;
    QTest::newRow("negative") << QStringLiteral("-3") << -3;
}

void tst_SettingsFile::readInt()
{
    QFETCH(QString, value);
    QFETCH(int, expected);
    CSettingsFile file(path("int.ini"));
    QVERIFY(file.WriteString(QStringLiteral("Check"), QStringLiteral("Rem"), value));
    QCOMPARE(file.ReadInt(QStringLiteral("Check"), QStringLiteral("Rem"), 7), expected);
}

void tst_SettingsFile::parityAndStopBits_data()
{
    QTest::addColumn<QString>("parity");
    QTest::addColumn<int>("parityCode");
    QTest::addColumn<QString>("stop");
    QTest::addColumn<int>("stopCode");
    QTest::newRow("none") << QStringLiteral("无") << 0 << QStringLiteral("1") << 0;
    QTest::newRow("odd") << QStringLiteral("奇校验") << 1 << QStringLiteral("1.5") << 1;
    QTest::newRow("even") << QStringLiteral("偶校验") << 2 << QStringLiteral("2") << 2;
    QTest::newRow("mark") << QStringLiteral("标记") << 3 << QStringLiteral("3") << 0;
    QTest::newRow("space") << QStringLiteral("空格") << 4 << QString() << 0;
    QTest::newRow("unknown word means none") << QStringLiteral("even") << 0 << QStringLiteral("1.0") << 0;
}

void tst_SettingsFile::parityAndStopBits()
{
    QFETCH(QString, parity);
    QFETCH(int, parityCode);
    QFETCH(QString, stop);
    QFETCH(int, stopCode);
    QCOMPARE(int(DeviceSettings::ParityCode(parity)), parityCode);
    QCOMPARE(int(DeviceSettings::StopBitsCode(stop)), stopCode);
}

void tst_SettingsFile::gbkByteLength()
{
    QCOMPARE(GbkText::ByteLength(QStringLiteral("在做一个短信软件,测试短信")), 25);
    QCOMPARE(GbkText::ByteLength(QStringLiteral("😀")), 4); // outside GBK
    QCOMPARE(GbkText::Truncate(QStringLiteral("ab短信"), 5), QStringLiteral("ab短"));
    QCOMPARE(GbkText::FromGbk(GbkText::ToGbk(QStringLiteral("短信猫"))), QStringLiteral("短信猫"));
}

// Every character of the Basic Multilingual Plane, one outside it and a lone surrogate, written
// for GBK readers: iconv reads it all, each character comes back as itself or as "?", and the
// "?"s are what was counted.
void tst_SettingsFile::strictGbkIsWhatGbkReadersRead()
{
    QString all;
    for (char32_t c = 1; c < 0x10000; ++c)
        if (c < 0xD800 || c >= 0xE000)
            all += QChar(char16_t(c));
    all += QStringLiteral("😀");
    all += QChar(char16_t(0xD800));
    qsizetype replaced = 0;
    const QByteArray gbk = GbkText::ToStrictGbk(all, &replaced);
    QProcess iconv;
    iconv.start(QStringLiteral("iconv"), {QStringLiteral("-f"), QStringLiteral("GBK"), QStringLiteral("-t"), QStringLiteral("UTF-32LE")});
    QVERIFY(iconv.waitForStarted());
    iconv.write(gbk);
    iconv.closeWriteChannel();
    QVERIFY(iconv.waitForFinished(60000));
    QCOMPARE(iconv.exitCode(), 0);
    const QByteArray utf32 = iconv.readAllStandardOutput();
    QList<uint> read;
    for (qsizetype i = 0; i + 4 <= utf32.size(); i += 4)
        read.append(qFromLittleEndian<quint32>(utf32.constData() + i));
    const QList<uint> written = all.toUcs4();
    QCOMPARE(read.size(), written.size());
    qsizetype questions = 0;
    for (qsizetype i = 0; i < written.size(); ++i) {
        if (read.at(i) == written.at(i))
            continue;
        QVERIFY2(read.at(i) == u'?', qPrintable(QString::number(written.at(i), 16)));
        ++questions;
    }
    QCOMPARE(replaced, questions);
    QVERIFY(written.size() - replaced > 21000); // GBK has some 21,900 characters, ASCII aside
    QCOMPARE(GbkText::ToStrictGbk(QStringLiteral("€你😀"), &(replaced = 0)), QByteArray("\x80\xC4\xE3?"));
    QCOMPARE(replaced, 1);
}

// The README's example files, copied as they stand, give the values their text explains.
void tst_SettingsFile::readmeExamplesWorkAsTheyStand()
{
    QFile readme(QStringLiteral(SKEVO_SOURCE_DIR "/README.md"));
    QVERIFY(readme.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(readme.readAll());
    QStringList blocks;
    for (qsizetype at = text.indexOf(QLatin1String("```ini\n")); at >= 0; at = text.indexOf(QLatin1String("```ini\n"), at)) {
        at += 7;
        const QString block = text.mid(at, text.indexOf(QLatin1String("```"), at) - at);
        if (block.contains(QLatin1String("[SQL]"))) // the examples of setting.ini, not other files
            blocks << block;
    }
    QCOMPARE(blocks.size(), 2);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("setting.ini"));
    const auto use = [&](const QString &block) {
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(block.toUtf8());
    };

    use(blocks.at(0));
    CSettingsFile file(path);
    const DbSettings db = DbSettings::Read(file);
    QCOMPARE(db.m_driver, DbSettings::Sqlite);
    QCOMPARE(db.m_strData, QStringLiteral("MYSKEVO"));
    QCOMPARE(db.m_strSqliteFile, QDir(dir.path()).absoluteFilePath(QStringLiteral("MYSKEVO.db")));
    QCOMPARE(db.m_strHost, QStringLiteral("127.0.0.1"));
    QCOMPARE(db.m_nPort, 5432);
    const DeviceSettings device = DeviceSettings::Read(file);
    QCOMPARE(device.m_strCOM, QStringLiteral("COM1"));
    QCOMPARE(device.BaudRateValue(), 9600u);
    QCOMPARE(device.m_strSMSC, QStringLiteral("8613800591500"));
    QCOMPARE(device.ByteSizeValue(), quint8(8));
    QCOMPARE(device.m_strParity, QStringLiteral("无"));
    QCOMPARE(device.m_strStopBits, QStringLiteral("1"));
    QCOMPARE(file.ReadString(QStringLiteral("MSG"), QStringLiteral("MESSAGE"), QString()),
             QStringLiteral("在做一个短信软件,测试短信"));
    QCOMPARE(file.ReadInt(QStringLiteral("Check"), QStringLiteral("Play"), 0), 1);
    QCOMPARE(file.ReadString(QStringLiteral("Check"), QStringLiteral("Mid"), QString()), QStringLiteral("skevo.mid"));

    use(blocks.at(1));
    const DbSettings pg = DbSettings::Read(file);
    QCOMPARE(pg.m_driver, DbSettings::Postgres);
    QCOMPARE(pg.m_strHost, QStringLiteral("db.example.lan"));
    QCOMPARE(pg.m_nPort, 5432);
    QCOMPARE(pg.m_strUser, QStringLiteral("skevo"));
    QCOMPARE(pg.m_strPsw, QStringLiteral("secret"));
    QCOMPARE(pg.m_strData, QStringLiteral("skevo"));
}

// Section SQL is read in one place: the texts the login panel shows and the values a
// connection uses come from the same reading.
void tst_SettingsFile::sqlSection_data()
{
    QTest::addColumn<QString>("driver");
    QTest::addColumn<QString>("port");
    QTest::addColumn<QString>("driverText");
    QTest::addColumn<int>("dialect");
    QTest::addColumn<int>("portValue");
    QTest::newRow("keys missing") << QString() << QString() << QStringLiteral("sqlite") << int(DbSettings::Sqlite) << 5432;
    QTest::newRow("postgres in capitals, port with a tail") << QStringLiteral(" PSQL ") << QStringLiteral("6543x")
                                                            << QStringLiteral("postgres") << int(DbSettings::Postgres) << 6543;
    QTest::newRow("unknown driver, port not a number") << QStringLiteral("mysql") << QStringLiteral("abc")
                                                       << QStringLiteral("sqlite") << int(DbSettings::Sqlite) << 5432;
}

void tst_SettingsFile::sqlSection()
{
    QFETCH(QString, driver);
    QFETCH(QString, port);
    QFETCH(QString, driverText);
    QFETCH(int, dialect);
    QFETCH(int, portValue);
    QTemporaryDir dir;
    CSettingsFile file(dir.filePath(QStringLiteral("setting.ini")));
    const QString sql = QStringLiteral("SQL");
    if (!driver.isNull())
        QVERIFY(file.WriteString(sql, QStringLiteral("Driver"), driver));
    if (!port.isNull())
        QVERIFY(file.WriteString(sql, QStringLiteral("Port"), port));
    const SqlSettings texts = SqlSettings::Read(file);
    const DbSettings values = DbSettings::Read(file);
    QCOMPARE(texts.m_strDriver, driverText);
    QCOMPARE(int(values.m_driver), dialect);
    QCOMPARE(texts.m_strPort, port.isNull() ? QStringLiteral("5432") : port);
    QCOMPARE(values.m_nPort, portValue);
    QCOMPARE(values.m_strSqliteFile, QDir(dir.path()).absoluteFilePath(texts.m_strData + QStringLiteral(".db")));
}

QTEST_GUILESS_MAIN(tst_SettingsFile)
#include "tst_settingsfile.moc"
