#pragma once
// "输入短信接收号码": one field of at most 11 characters. It hands back what was typed and
// checks nothing; the send list trims it and the send run checks it.
#include <QDialog>

class QLineEdit;

class CManualNumberDlg : public QDialog
{
    Q_OBJECT
public:
    explicit CManualNumberDlg(QWidget *parent = nullptr);
    QString Number() const;

private:
    QLineEdit *m_pEdit;
};
