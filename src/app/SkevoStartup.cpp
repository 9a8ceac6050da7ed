#include "SkevoStartup.h"

#include "CMainFrame.h"
#include "CMessageBox.h"
#include "CRingPlayer.h"
#include "CSkevoApp.h"
#include "base/AppPaths.h"
#include "base/IMessageBox.h"
#include "SingleInstance.h"
#include "StartupOptions.h"
#include "users/CLoginDlg.h"

#include <QApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>
#include <cstdio>

namespace SkevoStartup {

QLocale ProgramLocale(const QLocale &system)
{
    return system.language() == QLocale::Chinese ? system : QLocale(QLocale::Chinese, QLocale::China);
}

void UseChineseLocale()
{
    QLocale::setDefault(ProgramLocale(QLocale::system()));
}

bool InstallQtTranslations()
{
    static QTranslator *translator = nullptr;
    if (translator)
        return true;
    auto *t = new QTranslator(qApp);
    if (!t->load(ProgramLocale(QLocale::system()), QStringLiteral("qtbase"), QStringLiteral("_"),
                 QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        delete t;
        return false;
    }
    QCoreApplication::installTranslator(t);
    translator = t;
    return true;
}

QString MissingDriverText(DbSettings::Driver driver)
{
    if (CDbAccess::IsDriverAvailable(driver))
        return QString();
    const QString name = CDbAccess::QtDriverName(driver);
    const QString package = driver == DbSettings::Postgres ? QStringLiteral("libqt6sql6-psql")
                                                           : QStringLiteral("libqt6sql6-sqlite");
    return QStringLiteral("缺少数据库驱动 %1\n请安装软件包 %2 后再启动程序").arg(name, package);
}

std::optional<int> AnswerWithoutWindows(const QStringList &arguments)
{
    const StartupOptions options = StartupOptions::Parse(arguments);
    if (!options.m_strError.isEmpty())
        return std::nullopt; // perhaps an option of Qt's own, which QApplication takes away
    if (options.m_bHelp) {
        std::fputs(StartupOptions::Help().toLocal8Bit().constData(), stdout);
        return 0;
    }
    if (options.m_bVersion) {
        std::printf("%s\n", StartupOptions::Version().toLocal8Bit().constData());
        return 0;
    }
    return std::nullopt;
}

int Run(const QStringList &arguments, IMessageBox &messages)
{
    const StartupOptions options = StartupOptions::Parse(arguments);
    if (!options.m_strError.isEmpty()) {
        std::fprintf(stderr, "%s\n%s\n", options.m_strError.toLocal8Bit().constData(),
                     StartupOptions::Usage().toLocal8Bit().constData());
        return 2;
    }
    if (const std::optional<int> answered = AnswerWithoutWindows(arguments))
        return *answered;

    // The settings file is fixed now: a file dialog that moves the working directory later
    // does not move it.
    const AppPaths paths = AppPaths::Resolve(AppPaths::OfProcess(), options.m_strSettingsPath);
    AppPaths::SetCurrent(paths);
    CSkevoApp app(paths.m_strSettings);

    SingleInstance instance;
    if (!instance.TryAcquire()) {
        messages.Show(SingleInstance::AlreadyRunningText(), QStringLiteral("Skevo"), IMessageBox::Warning);
        return 1;
    }

    // An installed program's first start: the user's folders and the settings file. When
    // they cannot be made, the login says what the database says.
    const QString prepared = paths.Prepare();
    if (!prepared.isEmpty())
        std::fprintf(stderr, "%s\n", prepared.toLocal8Bit().constData());

    const QString missing = MissingDriverText(app.ReadDbSettings().m_driver);
    if (!missing.isEmpty()) {
        messages.Show(missing, QStringLiteral("Skevo"), IMessageBox::Warning);
        return 1;
    }

    auto *boxes = dynamic_cast<CMessageBox *>(&messages);
    {
        QString user;
        bool admin = false;
        CLoginDlg login(app.Settings(), app.Db(), user, admin, messages);
        // The login stays on top of other windows: its messages must stand over it.
        if (boxes)
            boxes->SetParent(&login);
        const int result = login.exec();
        if (boxes)
            boxes->SetParent(nullptr);
        if (result != QDialog::Accepted)
            return 0;
        app.SetUser(user, admin);
    }

    CRingPlayer ring;
    CMainFrame frame(app, messages, ring);
    frame.Link().SetPortOverride(options.m_devices);
    if (boxes)
        boxes->SetParent(&frame);
    // The window may be hidden in the tray when it closes: the program ends with its
    // closing steps, not with the last visible window.
    QApplication::setQuitOnLastWindowClosed(false);
    QObject::connect(&frame, &CMainFrame::closed, qApp, &QCoreApplication::quit, Qt::QueuedConnection);
    frame.ShowWithPlacement();
    const int code = QApplication::exec();
    if (boxes)
        boxes->SetParent(nullptr);
    return code;
}

} // namespace SkevoStartup
