#pragma once
// The sub-commands of skevo-cli. Each gets the arguments that follow its own name and
// returns the exit code: 0 when done, 2 for bad input or usage (with one line on stderr).
#include <QStringList>

int RunPdu(const QStringList &args);
int RunInitDb(const QStringList &args);
int RunSend(const QStringList &args);
int RunListen(const QStringList &args);
int RunExport(const QStringList &args);
int RunGenerate(const QStringList &args);
int RunPhoneBook(const QStringList &args);
int RunServe(const QStringList &args);
int RunOrders(const QStringList &args);
int RunUser(const QStringList &args);

// Writes one line to stderr and returns the exit code for bad input or usage.
int CliFail(const QString &message);
// The text with its tabs and line breaks made spaces, to stand in one field of an output line.
QString OneLine(QString text);
