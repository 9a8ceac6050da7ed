#include "CMessageBox.h"

#include <QMessageBox>
#include <QPushButton>

IMessageBox::Answer CMessageBox::Show(const QString &text, const QString &caption, Icon icon, Buttons buttons)
{
    QMessageBox::Icon qicon = QMessageBox::NoIcon;
    switch (icon) {
    case NoIcon: qicon = QMessageBox::NoIcon; break;
    case Information: qicon = QMessageBox::Information; break;
    case Warning: qicon = QMessageBox::Warning; break;
    case Critical: qicon = QMessageBox::Critical; break;
    case Question: qicon = QMessageBox::Question; break;
    }
    QMessageBox::StandardButtons qbuttons = QMessageBox::Ok;
    QMessageBox::StandardButton defaultButton = QMessageBox::Ok;
    if (buttons == OkCancel) {
        qbuttons = QMessageBox::Ok | QMessageBox::Cancel;
    } else if (buttons == YesNoCancel) {
        qbuttons = QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel;
        defaultButton = QMessageBox::Yes;
    } else if (buttons == YesNo || buttons == YesNoDefaultNo) {
        qbuttons = QMessageBox::Yes | QMessageBox::No;
        defaultButton = buttons == YesNo ? QMessageBox::Yes : QMessageBox::No;
    }
    // A hidden parent (the window is in the tray) would hide the box with it.
    QWidget *parent = m_pParent && m_pParent->isVisible() ? m_pParent.data() : nullptr;
    QMessageBox box(qicon, caption.isEmpty() ? QStringLiteral("Skevo") : caption, text, qbuttons, parent);
    box.setDefaultButton(defaultButton);
    const struct { QMessageBox::StandardButton button; const char *text; } captions[] = {
        {QMessageBox::Ok, "确定"}, {QMessageBox::Cancel, "取消"}, {QMessageBox::Yes, "是(&Y)"}, {QMessageBox::No, "否(&N)"},
    };
    for (const auto &c : captions) {
        if (QAbstractButton *b = box.button(c.button))
            b->setText(QString::fromUtf8(c.text));
    }
    switch (box.exec()) {
    case QMessageBox::Ok: return AnswerOk;
    case QMessageBox::Yes: return AnswerYes;
    case QMessageBox::No: return AnswerNo;
    default: return buttons == YesNo || buttons == YesNoDefaultNo ? AnswerNo : AnswerCancel;
    }
}
