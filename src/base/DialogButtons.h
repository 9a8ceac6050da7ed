#pragma once
// Buttons the program's dialogs make alike.
#include <QDialog>
#include <QDialogButtonBox>
#include <QPushButton>

// A named push button that Enter does not press: Enter belongs to the default button.
inline QPushButton *NamedButton(const QString &text, const char *name, QWidget *parent)
{
    auto *b = new QPushButton(text, parent);
    b->setObjectName(QLatin1String(name));
    b->setAutoDefault(false);
    return b;
}

// The "确定(&O)" and "取消(&C)" row, OK the default button.
inline QDialogButtonBox *OkCancelButtons(QDialog *dialog)
{
    auto *buttons = new QDialogButtonBox(dialog);
    auto *ok = buttons->addButton(QStringLiteral("确定(&O)"), QDialogButtonBox::AcceptRole);
    auto *cancel = buttons->addButton(QStringLiteral("取消(&C)"), QDialogButtonBox::RejectRole);
    ok->setObjectName(QStringLiteral("okButton"));
    ok->setDefault(true);
    cancel->setObjectName(QStringLiteral("cancelButton"));
    // accept is virtual: a dialog that checks its fields on OK is reached through it.
    QObject::connect(buttons, &QDialogButtonBox::accepted, dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, dialog, &QDialog::reject);
    return buttons;
}
