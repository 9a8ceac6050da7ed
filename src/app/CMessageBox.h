#pragma once
// Operator messages as modal message boxes over a parent window.
#include "base/IMessageBox.h"

#include <QPointer>
#include <QWidget>

class CMessageBox : public IMessageBox
{
public:
    explicit CMessageBox(QWidget *parent = nullptr) : m_pParent(parent) {}
    void SetParent(QWidget *parent) { m_pParent = parent; }

    Answer Show(const QString &text, const QString &caption = QString(), Icon icon = NoIcon,
                Buttons buttons = Ok) override;

private:
    QPointer<QWidget> m_pParent;
};
