#pragma once
// The dialogs that bring numbers and text to the bulk-send panel (number generator, common
// phrases, phone book), behind one interface so a test can answer them.
#include <QStringList>
#include <optional>

class QWidget;

class ISourceDialogs
{
public:
    virtual ~ISourceDialogs() = default;
    // "自动生成接收号码": the generated numbers, or nothing on cancel.
    virtual std::optional<QStringList> AskGeneratedNumbers(QWidget *parent) = 0;
    // "插入常用短语": the text to insert, or nothing on cancel.
    virtual std::optional<QString> AskPhrase(QWidget *parent) = 0;
    // "电话本": the numbers of the chosen entries, top to bottom, or nothing on cancel.
    virtual std::optional<QStringList> AskPhoneBookNumbers(QWidget *parent) = 0;
};
