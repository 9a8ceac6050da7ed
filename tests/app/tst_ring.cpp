// The ring tone: the program's own tune and a chosen file played through libfluidsynth into
// a WAV file (the file driver stands in for the audio device), silence for a missing file,
// and the ring window with the main window's ring commands.
#include "WindowKit.h"
#include "app/CMainFrame.h"
#include "app/CRingDlg.h"
#include "app/CRingPlayer.h"
#include "app/CSkevoApp.h"
#include "app/RingTune.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QtEndian>

namespace {
// The loudest 16-bit sample of a WAV file's data chunk; -1 when there is no such file.
int Peak(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray wav = f.readAll();
    if (!wav.startsWith("RIFF") || wav.mid(8, 4) != "WAVE")
        return -1;
    for (qsizetype at = 12; at + 8 <= wav.size();) {
        const QByteArray id = wav.mid(at, 4);
        const quint32 size = qFromLittleEndian<quint32>(wav.constData() + at + 4);
        if (id == "data") {
            int peak = 0;
            const qsizetype end = std::min<qsizetype>(wav.size(), at + 8 + size);
            for (qsizetype i = at + 8; i + 1 < end; i += 2)
                peak = std::max(peak, std::abs(int(qFromLittleEndian<qint16>(wav.constData() + i))));
            return peak;
        }
        at += 8 + size + (size & 1);
    }
    return -1;
}
} // namespace

class tst_Ring : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void rendersThroughTheFileDriver_data();
    void rendersThroughTheFileDriver();
    void ringWindow();
    void frameTakesTheWindowsChoice();

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    FakeMessageBox m_messages;
};

void tst_Ring::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    m_messages.Clear();
}

void tst_Ring::rendersThroughTheFileDriver_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<bool>("audible");
    QTest::newRow("the tune written as a file") << "tune.mid" << true;
    QTest::newRow("skevo.mid not there: the built-in tune") << "skevo.mid" << true;
    QTest::newRow("another file not there: silence") << "missing.mid" << false;
    QTest::newRow("not a MIDI file: silence") << "setting.ini" << false;
}

void tst_Ring::rendersThroughTheFileDriver()
{
    QFETCH(QString, file);
    QFETCH(bool, audible);
    QVERIFY2(QFile::exists(QStringLiteral("/usr/share/sounds/sf2/TimGM6mb.sf2")), "timgm6mb-soundfont is missing (scripts/deps)");
    QFile tune(m_dir->filePath(QStringLiteral("tune.mid")));
    QVERIFY(tune.open(QIODevice::WriteOnly));
    tune.write(RingTune::Midi());
    tune.close();
    QFile ini(m_dir->filePath(QStringLiteral("setting.ini")));
    QVERIFY(ini.open(QIODevice::WriteOnly));
    ini.write("[Check]\nPlay=1\n");
    ini.close();

    const QString wav = m_dir->filePath(QStringLiteral("ring.wav"));
    {
        CRingPlayer player(wav);
        player.PlayRing(m_dir->filePath(file));
        QCOMPARE(player.IsPlaying(), audible);
        QTRY_VERIFY_WITH_TIMEOUT(!player.IsPlaying(), 20000);
    } // the driver closes the file
    const int peak = Peak(wav);
    if (audible)
        QVERIFY2(peak > 1000, qPrintable(QString::number(peak)));
    else
        QVERIFY2(peak <= 0, qPrintable(QString::number(peak)));
}

void tst_Ring::ringWindow()
{
    CSettingsFile file(m_dir->filePath(QStringLiteral("setting.ini")));
    FakeRing ring;
    CRingDlg dlg(file, ring, m_messages, true);
    QCOMPARE(dlg.windowTitle(), QStringLiteral("短信铃声设置"));
    auto *edit = dlg.findChild<QLineEdit *>(QStringLiteral("ringFileEdit"));
    auto *check = dlg.findChild<QCheckBox *>(QStringLiteral("playCheck"));
    QVERIFY(edit->isReadOnly());
    QCOMPARE(edit->text(), QStringLiteral("skevo.mid"));
    QCOMPARE(check->text(), QStringLiteral("短信来时播放铃声"));
    QVERIFY(check->isChecked());
    QCOMPARE(dlg.findChild<QPushButton *>(QStringLiteral("chooseButton"))->text(), QStringLiteral("选择铃声文件"));

    // "播放(&P)" plays what the field names, at once.
    QTest::mouseClick(dlg.findChild<QPushButton *>(QStringLiteral("playButton")), Qt::LeftButton);
    QCOMPARE(ring.played, QStringList({m_dir->filePath(QStringLiteral("skevo.mid"))}));

    // A file beside setting.ini is kept by its name, any other by its path; cancelling the
    // file dialog changes nothing.
    const QString elsewhere = QDir::cleanPath(m_dir->filePath(QStringLiteral("sounds/a.mid")));
    QStringList answers = {m_dir->filePath(QStringLiteral("b.mid")), QString(), elsewhere};
    dlg.m_chooseFile = [&answers](QWidget *, const QString &) { return answers.takeFirst(); };
    QPushButton *choose = dlg.findChild<QPushButton *>(QStringLiteral("chooseButton"));
    QTest::mouseClick(choose, Qt::LeftButton);
    QCOMPARE(edit->text(), QStringLiteral("b.mid"));
    QTest::mouseClick(choose, Qt::LeftButton);
    QCOMPARE(edit->text(), QStringLiteral("b.mid"));
    QTest::mouseClick(choose, Qt::LeftButton);
    QCOMPARE(edit->text(), elsewhere);
    QVERIFY(!QFile::exists(file.Path())); // nothing before OK
    check->setChecked(false);
    QTest::mouseClick(dlg.findChild<QPushButton *>(QStringLiteral("okButton")), Qt::LeftButton);
    QCOMPARE(dlg.result(), int(QDialog::Accepted));
    QVERIFY(!dlg.PlayFlag());
    QCOMPARE(file.ReadString(QStringLiteral("Check"), QStringLiteral("Mid"), QString()), elsewhere);
}

void tst_Ring::frameTakesTheWindowsChoice()
{
    CSkevoApp app(m_dir->filePath(QStringLiteral("setting.ini")));
    FakeRing ring;
    QSettings profile(m_dir->filePath(QStringLiteral("profile.ini")), QSettings::IniFormat);
    CMainFrame frame(app, m_messages, ring, &profile);
    auto *settings = frame.findChild<QAction *>(QStringLiteral("actionRingSettings"));
    auto *toggle = frame.findChild<QAction *>(QStringLiteral("actionPlayRing"));
    QVERIFY(settings->isEnabled());
    QVERIFY(toggle->isChecked());

    const struct { bool ok; bool flagAfter; } runs[] = {{false, true}, {true, false}};
    for (const auto &run : runs) {
        OnNextModal([&run, this](QWidget *w) {
            w->findChild<QCheckBox *>(QStringLiteral("playCheck"))->setChecked(false);
            if (auto *d = qobject_cast<CRingDlg *>(w))
                d->m_chooseFile = [this](QWidget *, const QString &) { return m_dir->filePath(QStringLiteral("c.mid")); };
            w->findChild<QPushButton *>(QStringLiteral("chooseButton"))->click();
            w->findChild<QPushButton *>(QString::fromLatin1(run.ok ? "okButton" : "cancelButton"))->click();
        });
        settings->trigger();
        QCOMPARE(frame.PlayFlag(), run.flagAfter);
        QCOMPARE(toggle->isChecked(), run.flagAfter);
    }
    QCOMPARE(frame.RingFile(), m_dir->filePath(QStringLiteral("c.mid")));
}

QTEST_MAIN(tst_Ring)
#include "tst_ring.moc"
