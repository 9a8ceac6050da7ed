#pragma once
// The one file dialog of the program: every open and save dialog (number files, log export,
// and any later one) is this class or goes through its two functions.
//
// Why: while a file dialog fills its list it would guess each file's type and icon by
// reading the file. Reading means opening, and on Linux closing any descriptor of a file
// drops every POSIX lock the process holds on that file, SQLite's own included. Another
// program on the same database then takes itself for the last one, checkpoints and deletes
// the write-ahead log, and our later journal rows go into a deleted file. So this dialog is
// never the platform's (it runs in our process and reads files as it likes), and its list
// takes icons and type names from the name and the directory entry alone: nothing but SQLite
// ever opens the database's files.
#include <QFileDialog>
#include <QStringList>

class CFileDialog : public QFileDialog
{
    Q_OBJECT
public:
    // Filters in the dialog's form ("电话号码文件(*.txt)"); AllFiles() shows every file,
    // names without an extension included.
    CFileDialog(QWidget *parent, const QStringList &filters, const QString &directory = QString());

    static QString AllFiles();

    // An existing file to open; "" on cancel.
    static QString GetOpenFileName(QWidget *parent, const QStringList &filters);
    // A file to write, proposed as proposedName; a name typed without extension gets
    // defaultSuffix; an existing file is confirmed first. "" on cancel.
    static QString GetSaveFileName(QWidget *parent, const QString &proposedName, const QStringList &filters,
                                   const QString &defaultSuffix);
};
