// Times personal texts for 100,000 recipients: reading a CSV number file with their fields,
// filling one text with a name from the phone book and two columns of the file and checking
// every filled text against the limit, and the whole send run's plan (numbers checked and
// normalised, texts filled, one record each with its own coding). Run by hand on a Release
// build:
//   bench_personal [count]
#include "base/NumberFile.h"
#include "base/PersonalTexts.h"
#include "base/TextTemplate.h"
#include "send/SendRun.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QFile>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

namespace {
double Milliseconds(const std::function<void()> &work, int runs = 5)
{
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer timer;
        timer.start();
        work();
        times.push_back(double(timer.nsecsElapsed()) / 1e6);
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

void Report(const char *what, double ms)
{
    std::printf("%-62s %9.1f ms\n", what, ms);
}

const QStringList kSurnames{QStringLiteral("张"), QStringLiteral("王"), QStringLiteral("李"), QStringLiteral("欧阳"),
                            QStringLiteral("Smith ")};
} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const int count = argc > 1 ? QByteArray(argv[1]).toInt() : 100000;

    // Distinct numbers; every other one in the phone book; a mixed-language name for some.
    QStringList numbers;
    QByteArray csv = QStringLiteral("号码,名字,金额,日期\r\n").toUtf8();
    BookIndex book;
    for (int i = 0; i < count; ++i) {
        const QString number = QString::number(13000000000LL + (i * 104729LL) % 1000003);
        numbers << number;
        const QString name = kSurnames.at(i % kSurnames.size()) + QString::number(i % 97);
        if (i % 2 == 0)
            PersonalTexts::AddToBook(book, number, name, QStringLiteral("客户"));
        csv += (number + u',' + (i % 3 == 0 ? name : QString()) + u',' + QString::number(i % 1000) + QStringLiteral(".50,")
                + QStringLiteral("5月%1日").arg(1 + i % 28) + QStringLiteral("\r\n"))
                   .toUtf8();
    }
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("numbers.csv"));
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(csv) != csv.size())
        return 1;
    file.close();

    std::printf("personal texts for %d recipients\n", count);
    NumberFile::Contents contents;
    Report("NumberFile::Read (CSV, 4 columns)", Milliseconds([&] { contents = NumberFile::Read(path); }));
    std::printf("  %lld numbers read, %d failures, %lld columns\n", qlonglong(contents.m_numbers.size()),
                contents.m_nFailed, qlonglong(contents.m_fields.Columns().size()));

    const TextTemplate text(QStringLiteral("尊敬的{名字}, 您{日期}的话费为{金额}元, 请于月底前缴纳。"));
    const QStringList keys = PersonalTexts::Keys(contents.m_numbers);
    FilledTexts filled;
    Report("PersonalTexts::Fill (fill and check every text)",
           Milliseconds([&] { filled = PersonalTexts::Fill(text, keys, contents.m_numbers, contents.m_fields, book); }));
    std::printf("  longest %d bytes, %d too long, %d with an empty field\n", filled.m_nLongestBytes, filled.m_nTooLong,
                filled.m_nEmptyField);

    const TextTemplate ascii(QStringLiteral("Dear {名字}, you owe {金额} since {号码}."));
    Report("PersonalTexts::Fill (ASCII values)",
           Milliseconds([&] { filled = PersonalTexts::Fill(ascii, keys, contents.m_numbers, contents.m_fields, book); }));

    const SendRun::BookReader reader = [&book](BookIndex *b, QString *) {
        *b = book;
        return true;
    };
    SendRunPlan plan;
    Report("SendRun::Plan (checks, fill, one record each with its coding)",
           Milliseconds([&] {
               plan = SendRun::Plan(text.Text(), contents.m_numbers, true, QStringLiteral("8613800100500"),
                                    contents.m_fields, reader);
           }));
    std::printf("  %lld records, %lld messages shown\n", qlonglong(plan.m_records.size()), qlonglong(plan.m_messages.size()));
    Report("SendRun::Plan, the same text without fields",
           Milliseconds([&] {
               plan = SendRun::Plan(QStringLiteral("尊敬的客户, 您的话费请于月底前缴纳。"), contents.m_numbers, true,
                                    QStringLiteral("8613800100500"), contents.m_fields, reader);
           }));
    return 0;
}
