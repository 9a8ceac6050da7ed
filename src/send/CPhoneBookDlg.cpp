#include "CPhoneBookDlg.h"

#include "PhoneBook.h"
#include "PhoneBookModel.h"
#include "base/CFileDialog.h"
#include "base/DialogButtons.h"
#include "base/FileWriter.h"
#include "base/IMessageBox.h"

#include <QComboBox>
#include <QFile>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelection>
#include <QKeyEvent>
#include <QScopedValueRollback>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QTableView>
#include <QVBoxLayout>

namespace {
// What the database said of the last call that failed.
void ShowDatabaseTexts(const CDbAccess &db, IMessageBox &messages)
{
    for (const QString &text : db.LastMessages())
        messages.Show(text, QStringLiteral("提示"), IMessageBox::Critical);
}

// The program's one file dialog: it leaves the database's files alone.
QString ChooseFile(QWidget *parent, bool save)
{
    const QStringList filters{QStringLiteral("CSV 文件(*.csv)"), CFileDialog::AllFiles()};
    if (save)
        return CFileDialog::GetSaveFileName(parent, CFileDialog::PhoneBookFile, QStringLiteral("电话本.csv"), filters,
                                            QStringLiteral("csv"));
    return CFileDialog::GetOpenFileName(parent, CFileDialog::PhoneBookFile, filters);
}

// Contiguous runs of rows as ranges, so selecting a large group stays quick.
QItemSelection RowsSelection(const QAbstractItemModel &model, const QList<int> &rows)
{
    QItemSelection selection;
    const int lastColumn = model.columnCount() - 1;
    for (qsizetype i = 0; i < rows.size();) {
        qsizetype j = i;
        while (j + 1 < rows.size() && rows.at(j + 1) == rows.at(j) + 1)
            ++j;
        selection.select(model.index(rows.at(i), 0), model.index(rows.at(j), lastColumn));
        i = j + 1;
    }
    return selection;
}
} // namespace

struct CPhoneBookDlg::Private
{
    Private(CDbAccess::SettingsSource settings, IMessageBox &m) : messages(m), db(std::move(settings)), book(db, model) {}

    IMessageBox &messages;
    CDbAccess db;
    PhoneBookModel model;
    PhoneBook book;
    FileChooser chooseFile = ChooseFile;

    QLineEdit *filter = nullptr;
    QTableView *list = nullptr;
    QLabel *chosen = nullptr;
    bool restoring = false; // the selection is being put back after the filter changed
    QLineEdit *name = nullptr;
    QLineEdit *number = nullptr;
    QComboBox *relation = nullptr;
};

CPhoneBookDlg::CPhoneBookDlg(CDbAccess::SettingsSource settings, IMessageBox &messages, QWidget *parent)
    : QDialog(parent)
    , d(std::make_unique<Private>(std::move(settings), messages))
{
    setWindowTitle(QStringLiteral("电话本"));
    setObjectName(QStringLiteral("phoneBookDialog"));

    auto label = [this](const QString &text, const char *name, QWidget *buddy) {
        auto *l = new QLabel(text, this);
        l->setObjectName(QLatin1String(name));
        l->setBuddy(buddy);
        return l;
    };
    auto button = [this](const QString &text, const char *name, void (CPhoneBookDlg::*slot)()) {
        auto *b = NamedButton(text, name, this);
        if (slot)
            connect(b, &QPushButton::clicked, this, slot);
        return b;
    };

    d->filter = new QLineEdit(this);
    d->filter->setObjectName(QStringLiteral("filterEdit"));
    d->filter->setClearButtonEnabled(true);
    d->filter->setPlaceholderText(QStringLiteral("名字、电话号码或关系"));
    connect(d->filter, &QLineEdit::textChanged, this, &CPhoneBookDlg::OnFilter);

    d->list = new QTableView(this);
    d->list->setObjectName(QStringLiteral("entryList"));
    d->list->setModel(&d->model);
    d->list->setSelectionBehavior(QAbstractItemView::SelectRows);
    d->list->setSelectionMode(QAbstractItemView::ExtendedSelection);
    d->list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    d->list->setShowGrid(true);
    d->list->setWordWrap(false);
    d->list->setTabKeyNavigation(false);
    d->list->verticalHeader()->hide();
    // Fixed row heights and column widths: the view never measures 100,000 rows.
    d->list->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    d->list->verticalHeader()->setDefaultSectionSize(d->list->fontMetrics().height() + 6);
    QHeaderView *header = d->list->horizontalHeader();
    header->setSectionsMovable(true);
    header->setSectionResizeMode(QHeaderView::Interactive);
    header->setStretchLastSection(false);
    header->resizeSection(PhoneBookModel::NameColumn, 100);
    header->resizeSection(PhoneBookModel::NumberColumn, 160);
    header->resizeSection(PhoneBookModel::RelationColumn, 100);
    connect(d->list, &QTableView::clicked, this, &CPhoneBookDlg::OnRowClicked);
    connect(d->list->selectionModel(), &QItemSelectionModel::selectionChanged, this, &CPhoneBookDlg::OnSelectionChanged);
    d->chosen = new QLabel(this);
    d->chosen->setObjectName(QStringLiteral("chosenLabel"));
    connect(d->list, &QTableView::doubleClicked, this, [this] {
        if (MarkedRow() >= 0)
            OnInsert();
    });

    d->name = new QLineEdit(this);
    d->name->setObjectName(QStringLiteral("nameEdit"));
    d->number = new QLineEdit(this);
    d->number->setObjectName(QStringLiteral("numberEdit"));
    d->number->setMaxLength(PhoneBook::kMaxNumberLength);
    d->number->setValidator(new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), d->number));
    d->relation = new QComboBox(this);
    d->relation->setObjectName(QStringLiteral("relationBox"));
    d->relation->setEditable(true);
    d->relation->setInsertPolicy(QComboBox::NoInsert);
    for (QWidget *field : {static_cast<QWidget *>(d->filter), static_cast<QWidget *>(d->name),
                           static_cast<QWidget *>(d->number), static_cast<QWidget *>(d->relation),
                           static_cast<QWidget *>(d->relation->lineEdit())})
        field->installEventFilter(this);

    auto *fields = new QGridLayout;
    fields->addWidget(label(QStringLiteral("名字:"), "nameLabel", d->name), 0, 0);
    fields->addWidget(d->name, 0, 1);
    fields->addWidget(label(QStringLiteral("电话号码:"), "numberLabel", d->number), 0, 2);
    fields->addWidget(d->number, 0, 3);
    fields->addWidget(label(QStringLiteral("关系:"), "relationLabel", d->relation), 1, 0);
    fields->addWidget(d->relation, 1, 1);
    fields->addWidget(button(QStringLiteral("全选该组"), "selectGroupButton", &CPhoneBookDlg::OnSelectGroup), 1, 3);
    fields->setColumnStretch(1, 1);
    fields->setColumnStretch(3, 1);

    auto *insert = new QPushButton(QStringLiteral("插入(&I)"), this);
    insert->setObjectName(QStringLiteral("insertButton"));
    insert->setDefault(true);
    connect(insert, &QPushButton::clicked, this, &CPhoneBookDlg::OnInsert);
    auto *cancel = button(QStringLiteral("取消(&C)"), "cancelButton", nullptr);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);

    auto *commands = new QHBoxLayout;
    commands->addWidget(button(QStringLiteral("修改(&S)"), "modifyButton", &CPhoneBookDlg::OnModify));
    commands->addWidget(button(QStringLiteral("增加(&A)"), "addButton", &CPhoneBookDlg::OnAdd));
    commands->addWidget(button(QStringLiteral("删除(&D)"), "deleteButton", &CPhoneBookDlg::OnDelete));
    commands->addWidget(button(QStringLiteral("全选"), "selectAllButton", &CPhoneBookDlg::OnSelectAll));
    commands->addWidget(insert);
    commands->addWidget(cancel);
    auto *files = new QHBoxLayout;
    files->addWidget(label(QStringLiteral("筛选:"), "filterLabel", d->filter));
    files->addWidget(d->filter, 1);
    files->addWidget(button(QStringLiteral("导入"), "importButton", &CPhoneBookDlg::OnImport));
    files->addWidget(button(QStringLiteral("导出"), "exportButton", &CPhoneBookDlg::OnExport));

    auto *layout = new QVBoxLayout(this);
    layout->addLayout(files);
    layout->addWidget(d->list, 1);
    layout->addWidget(d->chosen);
    layout->addLayout(fields);
    layout->addLayout(commands);
    resize(420, 460);

    const QString failure = d->book.Load();
    ShowDatabaseTexts(d->db, d->messages);
    d->relation->addItems(d->book.Groups());
    d->relation->setCurrentIndex(-1);
    d->relation->setEditText(QString());
    ShowChosenCount();
    if (!failure.isEmpty())
        d->messages.Show(failure, QStringLiteral("提示"), IMessageBox::Critical);
}

CPhoneBookDlg::~CPhoneBookDlg() = default;

void CPhoneBookDlg::SetFileChooser(FileChooser chooser)
{
    d->chooseFile = chooser ? std::move(chooser) : FileChooser(ChooseFile);
}

PhoneBookModel &CPhoneBookDlg::Model()
{
    return d->model;
}

int CPhoneBookDlg::MarkedRow() const
{
    const QModelIndex current = d->list->currentIndex();
    return current.isValid() ? current.row() : -1;
}

PhoneBookEntry CPhoneBookDlg::Fields() const
{
    return {d->name->text(), d->number->text(), d->relation->currentText()};
}

void CPhoneBookDlg::OnRowClicked()
{
    const int row = MarkedRow();
    if (row < 0)
        return;
    const PhoneBookEntry &e = d->model.Entry(row);
    d->name->setText(e.m_strName);
    d->number->setText(e.m_strNumber);
    d->relation->setEditText(e.m_strRelation);
}

void CPhoneBookDlg::OnFilter(const QString &text)
{
    const int marked = MarkedRow();
    const int entry = marked >= 0 ? d->model.EntryIndex(marked) : -1;
    int row = -1;
    {
        // Filtering rebuilds the rows; the entries chosen among those shown are chosen again.
        const QScopedValueRollback<bool> quiet(d->restoring, true);
        d->model.SetFilter(text);
        d->list->selectionModel()->select(RowsSelection(d->model, d->model.ChosenRows()), QItemSelectionModel::ClearAndSelect);
        row = entry >= 0 ? d->model.RowOfEntry(entry) : -1;
        if (row >= 0)
            d->list->selectionModel()->setCurrentIndex(d->model.index(row, 0), QItemSelectionModel::NoUpdate);
    }
    if (entry >= 0 && row < 0) {
        // The fields showed an entry the filter now hides.
        d->name->clear();
        d->number->clear();
        d->relation->setEditText(QString());
    }
    ShowChosenCount();
}

void CPhoneBookDlg::OnSelectionChanged(const QItemSelection &selected, const QItemSelection &deselected)
{
    if (d->restoring)
        return;
    for (const QItemSelectionRange &range : deselected) {
        for (int row = range.top(); row <= range.bottom(); ++row)
            d->model.SetChosen(row, false);
    }
    for (const QItemSelectionRange &range : selected) {
        for (int row = range.top(); row <= range.bottom(); ++row)
            d->model.SetChosen(row, true);
    }
    ShowChosenCount();
}

void CPhoneBookDlg::ShowChosenCount()
{
    const int all = int(d->model.ChosenEntries().size());
    const int hidden = d->model.HiddenChosenCount();
    QString text = QStringLiteral("已选择 %1 个").arg(all);
    if (hidden > 0)
        text += QStringLiteral(", 其中 %1 个不在筛选结果中").arg(hidden);
    d->chosen->setText(text);
}

bool CPhoneBookDlg::IsNewNumber() const
{
    const QString number = d->number->text();
    if (number.isEmpty())
        return false;
    const QList<PhoneBookEntry> &all = d->model.AllEntries();
    return std::none_of(all.cbegin(), all.cend(), [&number](const PhoneBookEntry &e) { return e.m_strNumber == number; });
}

bool CPhoneBookDlg::eventFilter(QObject *watched, QEvent *event)
{
    // Enter in a field would reach the default button "插入(&I)" and close the dialog with
    // what was typed lost. In the fields it adds a new entry, in the filter it does nothing.
    if (event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent *>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            if (watched != d->filter && IsNewNumber())
                OnAdd();
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void CPhoneBookDlg::OnAdd()
{
    if (const auto message = d->book.Add(Fields()))
        message->ShowOn(d->messages);
    else
        ShowDatabaseTexts(d->db, d->messages);
}

void CPhoneBookDlg::OnModify()
{
    const int row = MarkedRow();
    if (const auto message = d->book.Modify(row, Fields()))
        message->ShowOn(d->messages);
    else if (row >= 0) // no row marked: no statement ran
        ShowDatabaseTexts(d->db, d->messages);
}

void CPhoneBookDlg::OnDelete()
{
    const int row = MarkedRow();
    if (const auto message = d->book.Delete(row))
        message->ShowOn(d->messages);
    else if (row >= 0)
        ShowDatabaseTexts(d->db, d->messages);
}

void CPhoneBookDlg::OnSelectAll()
{
    d->list->selectAll();
    d->list->setFocus();
}

void CPhoneBookDlg::OnSelectGroup()
{
    const QList<int> rows = d->model.RowsOfGroup(d->relation->currentText());
    {
        const QScopedValueRollback<bool> quiet(d->restoring, true);
        d->list->selectionModel()->select(RowsSelection(d->model, rows), QItemSelectionModel::ClearAndSelect);
    }
    // The choice becomes the group, also where the filter hides what was chosen before.
    d->model.ClearChosen();
    for (int row : rows)
        d->model.SetChosen(row, true);
    ShowChosenCount();
    if (!rows.isEmpty())
        d->list->scrollTo(d->model.index(rows.first(), 0));
    d->list->setFocus();
}

void CPhoneBookDlg::OnInsert()
{
    m_selectedNumbers = d->book.ChosenNumbers();
    accept();
}

void CPhoneBookDlg::OnImport()
{
    const QString path = d->chooseFile(this, false);
    if (path.isEmpty())
        return;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        d->messages.Show(file.errorString(), QStringLiteral("提示"), IMessageBox::Critical);
        return;
    }
    const PhoneBook::ImportOutcome outcome = d->book.Import(file.readAll());
    if (!outcome.m_bStored)
        ShowDatabaseTexts(d->db, d->messages);
    outcome.Summary().ShowOn(d->messages);
}

void CPhoneBookDlg::OnExport()
{
    const QString path = d->chooseFile(this, true);
    if (path.isEmpty())
        return;
    if (const QString failure = FileWriter::WriteWhole(path, d->book.ExportCsv()); !failure.isEmpty()) {
        d->messages.Show(failure, QStringLiteral("提示"), IMessageBox::Critical);
        return;
    }
    d->messages.Show(QStringLiteral("导出到文件成功！"), QStringLiteral("提示"), IMessageBox::Information);
}
