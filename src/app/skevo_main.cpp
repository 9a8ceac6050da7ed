// skevo: the application.
#include "CMessageBox.h"
#include "SkevoStartup.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Skevo"));
    QApplication::setOrganizationName(QStringLiteral("Kavrel"));
    QApplication::setApplicationVersion(QStringLiteral("1.0"));
    SkevoStartup::UseChineseLocale();
    SkevoStartup::InstallQtTranslations();
    CMessageBox messages;
    QStringList arguments = QApplication::arguments();
    arguments.removeFirst();
    return SkevoStartup::Run(arguments, messages);
}
