#pragma once
// A message box for window tests: records every message and answers from a queue (OK, or
// the default button of a yes/no question, when the queue is empty). duringShow runs while a "box" is
// open, as the event loop of a real one would let other things happen.
#include "base/IMessageBox.h"

#include <QList>
#include <QQueue>
#include <QStringList>
#include <functional>

// A database failure as the operator reads it: a Chinese sentence saying what failed, then
// what the database said.
inline bool SaysWhatFailed(const QString &text)
{
    for (const char *sentence : {"无法连接数据库: ", "读取数据库出错: ", "SQL数据错误,"}) {
        if (text.startsWith(QString::fromUtf8(sentence)) && text.size() > QString::fromUtf8(sentence).size())
            return true;
    }
    return false;
}

class FakeMessageBox : public IMessageBox
{
public:
    struct Shown
    {
        QString text;
        QString caption;
        Icon icon;
        Buttons buttons;
    };

    Answer Show(const QString &text, const QString &caption = QString(), Icon icon = NoIcon,
                Buttons buttons = Ok) override
    {
        shown.append({text, caption, icon, buttons});
        if (duringShow)
            duringShow(text);
        if (!answers.isEmpty())
            return answers.dequeue();
        if (buttons == YesNoDefaultNo)
            return AnswerNo; // what Enter gives
        return buttons == YesNo || buttons == YesNoCancel ? AnswerYes : AnswerOk;
    }

    QStringList Texts() const
    {
        QStringList out;
        for (const Shown &m : shown)
            out << m.text;
        return out;
    }
    QString Last() const { return shown.isEmpty() ? QString() : shown.last().text; }
    void Clear() { shown.clear(); }

    QList<Shown> shown;
    QQueue<Answer> answers;
    std::function<void(const QString &)> duringShow;
};
