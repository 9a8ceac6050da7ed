// skevo: the application.
#include "CMessageBox.h"
#include "SkevoStartup.h"
#include "base/AppIcon.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    {
        QStringList early;
        for (int i = 1; i < argc; ++i)
            early << QString::fromLocal8Bit(argv[i]);
        if (const std::optional<int> answered = SkevoStartup::AnswerWithoutWindows(early))
            return *answered;
    }
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Skevo"));
    QApplication::setOrganizationName(QStringLiteral("Kavrel"));
    QApplication::setApplicationVersion(QStringLiteral(SKEVO_VERSION));
    // The desktop matches the window to its launcher (skevo.desktop) and its icon.
    QGuiApplication::setDesktopFileName(QStringLiteral("skevo"));
    QApplication::setWindowIcon(AppIcon::Icon());
    SkevoStartup::UseChineseLocale();
    SkevoStartup::InstallQtTranslations();
    CMessageBox messages;
    QStringList arguments = QApplication::arguments();
    arguments.removeFirst();
    return SkevoStartup::Run(arguments, messages);
}
