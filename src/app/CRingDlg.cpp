#include "CRingDlg.h"

#include "base/CSettingsFile.h"
#include "base/DialogButtons.h"
#include "base/IMessageBox.h"
#include "IRingPlayer.h"
#include "RingSettings.h"

#include "base/CFileDialog.h"

#include <QCheckBox>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

CRingDlg::CRingDlg(CSettingsFile &file, IRingPlayer &ring, IMessageBox &messages, bool play, QWidget *parent)
    : QDialog(parent)
    , m_file(file)
    , m_ring(ring)
    , m_messages(messages)
    , m_strStored(RingSettings::StoredName(file))
{
    setObjectName(QStringLiteral("ringDialog"));
    setWindowTitle(QStringLiteral("短信铃声设置"));
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    // The program's own file dialog: it starts in the folder of setting.ini, where the
    // database's files are, and must not open them.
    m_chooseFile = [](QWidget *parent, const QString &startFolder) {
        CFileDialog dlg(parent, CFileDialog::RingTone,
                        {QStringLiteral("MIDI 文件(*.mid *.midi *.kar)"), CFileDialog::AllFiles()}, startFolder);
        dlg.setWindowTitle(QStringLiteral("选择铃声文件"));
        dlg.setAcceptMode(CFileDialog::AcceptOpen);
        dlg.setFileMode(CFileDialog::ExistingFile);
        return dlg.Choose();
    };

    m_pFile = new QLineEdit(m_strStored, this);
    m_pFile->setObjectName(QStringLiteral("ringFileEdit"));
    m_pFile->setReadOnly(true);
    m_pChoose = NamedButton(QStringLiteral("选择铃声文件"), "chooseButton", this);
    m_pPlay = new QCheckBox(QStringLiteral("短信来时播放铃声"), this);
    m_pPlay->setObjectName(QStringLiteral("playCheck"));
    m_pPlay->setChecked(play);
    m_pPlayNow = NamedButton(QStringLiteral("播放(&P)"), "playButton", this);
    m_pOk = NamedButton(QStringLiteral("确定(&O)"), "okButton", this);
    m_pOk->setDefault(true);
    m_pCancel = NamedButton(QStringLiteral("取消(&C)"), "cancelButton", this);

    auto *fileRow = new QHBoxLayout;
    fileRow->addWidget(m_pFile, 1);
    fileRow->addWidget(m_pChoose);
    auto *playRow = new QHBoxLayout;
    playRow->addWidget(m_pPlay);
    playRow->addStretch();
    playRow->addWidget(m_pPlayNow);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(m_pOk);
    buttons->addWidget(m_pCancel);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(fileRow);
    layout->addLayout(playRow);
    layout->addLayout(buttons);
    resize(400, sizeHint().height());

    connect(m_pChoose, &QPushButton::clicked, this, &CRingDlg::OnChoose);
    connect(m_pPlayNow, &QPushButton::clicked, this, &CRingDlg::OnPlay);
    connect(m_pOk, &QPushButton::clicked, this, &CRingDlg::OnOk);
    connect(m_pCancel, &QPushButton::clicked, this, &QDialog::reject);
}

bool CRingDlg::PlayFlag() const
{
    return m_pPlay->isChecked();
}

QString CRingDlg::StoredName() const
{
    return m_pFile->text();
}

void CRingDlg::OnChoose()
{
    const QString current = RingSettings::Resolve(m_file, StoredName());
    const QString chosen = m_chooseFile(this, QFileInfo(current).absolutePath());
    if (!chosen.isEmpty())
        m_pFile->setText(RingSettings::NameFor(m_file, chosen));
}

void CRingDlg::OnPlay()
{
    m_ring.PlayRing(RingSettings::Resolve(m_file, StoredName()));
}

void CRingDlg::OnOk()
{
    if (StoredName() != m_strStored && !RingSettings::Write(m_file, StoredName())) {
        m_messages.Show(QStringLiteral("无法写入设置文件 ") + m_file.Path(), QString(), IMessageBox::Warning);
        return;
    }
    accept();
}
