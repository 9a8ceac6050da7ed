#include "CFileDialog.h"

#include <QAbstractFileIconProvider>
#include <QApplication>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QIdentityProxyModel>
#include <QSettings>
#include <QStyle>

namespace {
// Icons and type names from what the directory listing already knows (a folder or a file,
// and its name), never from the file's contents.
class Icons : public QAbstractFileIconProvider
{
public:
    explicit Icons(QStyle *style)
        : m_folder(style->standardIcon(QStyle::SP_DirIcon))
        , m_file(style->standardIcon(QStyle::SP_FileIcon))
        , m_drive(style->standardIcon(QStyle::SP_DriveHDIcon))
        , m_computer(style->standardIcon(QStyle::SP_ComputerIcon))
        , m_desktop(style->standardIcon(QStyle::SP_DesktopIcon))
        , m_trash(style->standardIcon(QStyle::SP_TrashIcon))
        , m_network(style->standardIcon(QStyle::SP_DriveNetIcon))
    {
        setOptions(DontUseCustomDirectoryIcons);
    }

    QIcon icon(IconType type) const override
    {
        switch (type) {
        case Computer: return m_computer;
        case Desktop: return m_desktop;
        case Trashcan: return m_trash;
        case Network: return m_network;
        case Drive: return m_drive;
        case Folder: return m_folder;
        case File: break;
        }
        return m_file;
    }

    QIcon icon(const QFileInfo &info) const override
    {
        if (info.isRoot())
            return m_drive;
        return info.isDir() ? m_folder : m_file;
    }

    // Qt's Chinese translations lack these words: they are the program's own.
    QString type(const QFileInfo &info) const override
    {
        if (info.isRoot())
            return QStringLiteral("驱动器");
        if (info.isDir())
            return QStringLiteral("文件夹");
        const QString suffix = info.suffix();
        if (suffix.isEmpty())
            return QStringLiteral("文件");
        return QStringLiteral("%1 文件").arg(suffix);
    }

private:
    QIcon m_folder, m_file, m_drive, m_computer, m_desktop, m_trash, m_network;
};

// The list's column titles and its modification times as the rest of the program writes them:
// the file system model takes both from the machine's locale, English on most servers.
class ListTexts : public QIdentityProxyModel
{
public:
    using QIdentityProxyModel::QIdentityProxyModel;

    QVariant headerData(int section, Qt::Orientation orientation, int role) const override
    {
        static const QString titles[] = {QStringLiteral("名称"), QStringLiteral("大小"), QStringLiteral("类型"),
                                         QStringLiteral("修改日期")};
        if (orientation == Qt::Horizontal && role == Qt::DisplayRole && section >= 0 && section < 4)
            return titles[section];
        return QIdentityProxyModel::headerData(section, orientation, role);
    }

    QVariant data(const QModelIndex &index, int role) const override
    {
        if (index.column() == kModified && role == Qt::DisplayRole) {
            if (auto *files = qobject_cast<QFileSystemModel *>(sourceModel())) {
                const QDateTime modified = files->lastModified(mapToSource(index));
                return modified.isValid() ? modified.toString(QStringLiteral("yyyy-MM-dd HH:mm")) : QString();
            }
        }
        return QIdentityProxyModel::data(index, role);
    }

    static constexpr int kModified = 3;
};

// The model asks its icon provider until the model is gone: the provider lives in a child of
// the model, deleted after the model has stopped its gathering thread.
class IconsHolder : public QObject
{
public:
    IconsHolder(QStyle *style, QObject *model) : QObject(model), m_icons(style) {}
    Icons m_icons;
};

// The platform's dialog (GTK, a portal) would be created inside the QFileDialog constructor,
// before any option of ours could refuse it, and an in-process one reads files to guess
// their types: the whole program does without them.
QWidget *WithoutPlatformDialogs(QWidget *parent)
{
    QCoreApplication::setAttribute(Qt::AA_DontUseNativeDialogs);
    return parent;
}

QSettings *g_pProfile = nullptr;

const QString kGroup = QStringLiteral("FILEDIALOG");

QString KeyOf(CFileDialog::Kind kind)
{
    switch (kind) {
    case CFileDialog::NumberFile: return QStringLiteral("NUMBERFILE");
    case CFileDialog::LogExport: return QStringLiteral("LOGEXPORT");
    case CFileDialog::PhoneBookFile: return QStringLiteral("PHONEBOOK");
    case CFileDialog::RingTone: return QStringLiteral("RING");
    case CFileDialog::OptOutFile: return QStringLiteral("OPTOUT");
    }
    return QStringLiteral("OTHER");
}

QString StartFolder(CFileDialog::Kind kind, const QString &fallbackFolder)
{
    const QString remembered = CFileDialog::RememberedFolder(kind);
    return remembered.isEmpty() ? fallbackFolder : remembered;
}
} // namespace

CFileDialog::CFileDialog(QWidget *parent, Kind kind, const QStringList &filters, const QString &fallbackFolder)
    : QFileDialog(WithoutPlatformDialogs(parent), QString(), StartFolder(kind, fallbackFolder))
    , m_kind(kind)
{
    // The list the constructor asked for is only being gathered (names and directory
    // entries, in a thread); icons and types are taken on this thread once the event loop
    // delivers it, so they come from here on.
    setOption(QFileDialog::DontUseNativeDialog);
    setOption(QFileDialog::DontUseCustomDirectoryIcons);
    if (auto *model = findChild<QFileSystemModel *>())
        setIconProvider(&(new IconsHolder(style(), model))->m_icons);
    setProxyModel(new ListTexts(this));
    if (!filters.isEmpty())
        setNameFilters(filters);
}

QString CFileDialog::AllFiles()
{
    return QStringLiteral("所有文件(*)");
}

QString CFileDialog::Choose()
{
    // setting.ini is found through the working directory.
    const QString workingDirectory = QDir::currentPath();
    const bool chosen = exec() == QDialog::Accepted && !selectedFiles().isEmpty();
    QDir::setCurrent(workingDirectory);
    if (!chosen)
        return {};
    const QString path = selectedFiles().constFirst();
    if (g_pProfile) {
        g_pProfile->setValue(kGroup + u'/' + KeyOf(m_kind), QFileInfo(path).absolutePath());
        g_pProfile->sync();
    }
    return path;
}

QString CFileDialog::GetOpenFileName(QWidget *parent, Kind kind, const QStringList &filters, const QString &fallbackFolder)
{
    CFileDialog dlg(parent, kind, filters, fallbackFolder);
    dlg.setAcceptMode(QFileDialog::AcceptOpen);
    dlg.setFileMode(QFileDialog::ExistingFile);
    return dlg.Choose();
}

QString CFileDialog::GetSaveFileName(QWidget *parent, Kind kind, const QString &proposedName, const QStringList &filters,
                                     const QString &defaultSuffix)
{
    CFileDialog dlg(parent, kind, filters);
    dlg.setAcceptMode(QFileDialog::AcceptSave);
    dlg.setFileMode(QFileDialog::AnyFile);
    dlg.setDefaultSuffix(defaultSuffix);
    dlg.selectFile(proposedName);
    return dlg.Choose();
}

void CFileDialog::SetProfile(QSettings *profile)
{
    g_pProfile = profile;
}

QSettings *CFileDialog::Profile()
{
    return g_pProfile;
}

QString CFileDialog::RememberedFolder(Kind kind)
{
    if (!g_pProfile)
        return {};
    const QString folder = g_pProfile->value(kGroup + u'/' + KeyOf(kind)).toString();
    return !folder.isEmpty() && QFileInfo(folder).isDir() ? folder : QString();
}
