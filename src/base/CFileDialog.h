#pragma once
// The one file dialog of the program: every open and save dialog (number files, log export,
// phone book, ring tone, and any later one) is this class. Nothing else in the program may
// construct a QFileDialog, QFileSystemModel or QFileIconProvider or call QFileDialog's
// static functions; scripts/check-layers fails when something does.
//
// Why: while a file dialog fills its list it would guess each file's type and icon by
// reading the file. Reading means opening, and on Linux closing any descriptor of a file
// drops every POSIX lock the process holds on that file, SQLite's own included. Another
// program on the same database then takes itself for the last one, checkpoints and deletes
// the write-ahead log, and our later journal rows go into a deleted file. So this dialog is
// never the platform's (it runs in our process and reads files as it likes), and its list
// takes icons and type names from the name and the directory entry alone: nothing but SQLite
// ever opens the database's files.
//
// Each kind of file (number files, the log export, the phone book's CSV, ring tones, the
// opt-out list's CSV) starts
// in the folder where a file of its kind was last chosen, kept in the per-user profile
// across restarts. The working directory (where setting.ini is found) is the same after
// the dialog as before it.
#include <QFileDialog>
#include <QStringList>

class QSettings;

class CFileDialog : public QFileDialog
{
    Q_OBJECT
public:
    enum Kind { NumberFile, LogExport, PhoneBookFile, RingTone, OptOutFile };

    // Filters in the dialog's form ("电话号码文件(*.txt)"); AllFiles() shows every file,
    // names without an extension included. The dialog starts in the folder remembered for
    // kind, else in fallbackFolder, else in the working directory.
    CFileDialog(QWidget *parent, Kind kind, const QStringList &filters, const QString &fallbackFolder = QString());

    static QString AllFiles();

    // Shows the dialog: the chosen file, "" on cancel. The chosen file's folder is
    // remembered for the dialog's kind.
    QString Choose();

    // An existing file to open; "" on cancel.
    static QString GetOpenFileName(QWidget *parent, Kind kind, const QStringList &filters,
                                   const QString &fallbackFolder = QString());
    // A file to write, proposed as proposedName; a name typed without extension gets
    // defaultSuffix; an existing file is confirmed first. "" on cancel.
    static QString GetSaveFileName(QWidget *parent, Kind kind, const QString &proposedName, const QStringList &filters,
                                   const QString &defaultSuffix);

    // The per-user profile the folders are kept in (the main window's, where its placement
    // is); nullptr: nothing is remembered. The profile must outlive its use here.
    static void SetProfile(QSettings *profile);
    static QSettings *Profile();
    // The folder remembered for kind, "" when none (or it is gone).
    static QString RememberedFolder(Kind kind);

private:
    Kind m_kind;
};
