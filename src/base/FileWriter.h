#pragma once
// Every file the program writes (the log export, the phone book and number files, setting.ini)
// is written through this: a temporary file beside the target (QSaveFile) that takes the
// target's place only when every byte was written, so a full disk, a size limit or a failing
// device leaves the old file as it was and no cut-off one. "-" is standard output, written
// unbuffered so that a failure is seen at the write that fails.
//
// QIODevice::write may write fewer bytes than asked without reporting an error (it does so
// when a file reaches the process's size limit); Write() takes that as the failure it is.
#include <QByteArray>
#include <QString>
#include <memory>

class QIODevice;

class FileWriter
{
public:
    explicit FileWriter(QString path);
    ~FileWriter(); // anything not committed is thrown away
    FileWriter(const FileWriter &) = delete;
    FileWriter &operator=(const FileWriter &) = delete;

    bool IsStandardOutput() const { return m_strPath == QLatin1String("-"); }
    const QString &Path() const { return m_strPath; }

    bool Open();
    // All of bytes, or false.
    bool Write(const QByteArray &bytes);
    // Puts the file in place (standard output: nothing is left in a buffer).
    bool Commit();
    void Cancel();

    // The cause of the first failure (an errno value), 0 while there was none.
    int Error() const { return m_nError; }
    // What the operator is told of it: the file and the cause, e.g. "/x/a.txt 所在的磁盘已满。";
    // for standard output "写入标准输出失败: ...".
    QString ErrorText() const;

    // Writes the whole file; "" when it is in place, otherwise ErrorText().
    static QString WriteWhole(const QString &path, const QByteArray &bytes);
    // The standard text for a file that could not be created or written (errno value), the
    // file's path in it; path "-" is standard output.
    static QString ErrorText(int errorNumber, const QString &path);

private:
    bool Fail(int errorNumber);

    QString m_strPath;
    std::unique_ptr<QIODevice> m_pDevice;
    int m_nError = 0;
};
