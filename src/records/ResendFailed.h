#pragma once
// "重发失败" on the records list: the failed sends among the selected rows go out again as a
// new run, after the operator agreed. Each number and text once, however often it failed.
#include "RecordsModel.h"
#include "base/OperatorMessage.h"
#include "base/SmsRecord.h"

#include <QVector>

class IOutbox;
class IMessageBox;

namespace ResendFailed {
// The messages to send again: the selected rows that are failed sends, in the list's order,
// with the configured service centre.
QVector<SmsRecord> Of(const RecordsModel &list, const QVector<int> &rows, const QString &smsc);
OperatorMessage Question(int count);
OperatorMessage NoneFailed();
// Asks, then queues. Returns the number of messages queued (0: none failed, not connected,
// declined, or the database refused them, which its sink said).
int Run(const RecordsModel &list, const QVector<int> &rows, const QString &smsc, IOutbox &outbox, IMessageBox &messages);
} // namespace ResendFailed
