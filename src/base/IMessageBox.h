#pragma once
// Every message to the operator goes through one of these, so a test can see and answer it.
#include <QString>

class IMessageBox
{
public:
    enum Icon { NoIcon, Information, Warning, Critical, Question };
    // YesNoDefaultNo: a question whose hasty answer would do harm; Enter answers No.
    // YesNoCancel: two ways on, or neither; Enter answers Yes, Esc Cancel.
    enum Buttons { Ok, OkCancel, YesNo, YesNoDefaultNo, YesNoCancel };
    enum Answer { AnswerOk, AnswerCancel, AnswerYes, AnswerNo };

    virtual ~IMessageBox() = default;
    // caption "" means the application title, "Skevo".
    virtual Answer Show(const QString &text, const QString &caption = QString(), Icon icon = NoIcon,
                        Buttons buttons = Ok) = 0;
};
