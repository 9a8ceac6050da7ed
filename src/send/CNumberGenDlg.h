#pragma once
// "自动生成接收号码": a segment and the two filters on the last four digits. "确定(&O)"
// generates the numbers (NumberGenerator) and closes; a segment that cannot be used is
// refused with a message and the dialog stays open.
#include "NumberGenerator.h"

#include <QDialog>
#include <QStringList>

class IMessageBox;
class QCheckBox;
class QLabel;
class QLineEdit;

class CNumberGenDlg : public QDialog
{
    Q_OBJECT
public:
    explicit CNumberGenDlg(IMessageBox &messages, QWidget *parent = nullptr);

    // What "确定(&O)" generated, ascending.
    QStringList Numbers() const { return m_numbers; }

    void accept() override;

private:
    void OnKeepSwitch();
    void OnDropSwitch();
    void OnKeepDigits();
    void OnDropDigits();

    IMessageBox &m_messages;
    QLineEdit *m_pSegment;
    QCheckBox *m_pKeep;
    QCheckBox *m_pNeed6;
    QCheckBox *m_pNeed8;
    QLabel *m_pKeepHint;
    QCheckBox *m_pDrop;
    QCheckBox *m_pAvoid4;
    QCheckBox *m_pAvoid7;
    QLabel *m_pDropHint;
    QStringList m_numbers;
};
