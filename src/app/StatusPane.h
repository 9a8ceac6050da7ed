#pragma once
// A pane of the status bar that never pushes into its neighbours: it asks for room for its
// whole text but makes do with a few characters, shows what fits with "…" at the end, and
// then puts the whole text into its tooltip (before the details the tooltip holds anyway).
#include <QLabel>

class StatusPane : public QLabel
{
    Q_OBJECT
public:
    explicit StatusPane(const QString &name, QWidget *parent = nullptr);

    // Takes the place of QLabel::setText, so that the window sets a pane as it sets a label.
    void setText(const QString &text);
    // What the tooltip says beyond the pane's own text ("" none).
    void SetDetail(const QString &detail);
    QString FullText() const { return m_strFull; }
    bool IsShortened() const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void resizeEvent(QResizeEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    void Fit();
    int TextWidth(const QString &text) const;

    QString m_strFull;
    QString m_strDetail;
};
