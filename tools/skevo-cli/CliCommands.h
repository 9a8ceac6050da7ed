#pragma once
// The sub-commands of skevo-cli. Each gets the arguments that follow its own name and
// returns the exit code: 0 when done, 2 for bad input or usage (with one line on stderr).
#include <QByteArray>
#include <QStringList>

#include <cstdio>
#include <optional>

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
int RunOptOut(const QStringList &args);
int RunToken(const QStringList &args);

// Writes one line to stderr and returns the exit code for bad input or usage.
int CliFail(const QString &message);
// The text with its tabs and line breaks made spaces, to stand in one field of an output line.
QString OneLine(QString text);
// The text as a terminal may show it: every control character other than tab and line feed
// (ESC, BEL, CR, the C1 controls, the bidirectional overrides...) written as an escape such
// as \x1b, so that texts from received messages, imported files and the database cannot
// move the cursor, retitle the window or hide what follows.
QString Visible(const QString &text);
// Every line skevo-cli writes for a person goes through here: Visible, a line feed, flushed.
// Data (an export to standard output) is written as it is, elsewhere.
void PrintLine(FILE *to, const QString &line);
// The bytes of the file at path, or of standard input for "-"; none, with the cause said on
// stderr, when it cannot be read.
std::optional<QByteArray> ReadInput(const QString &path);
