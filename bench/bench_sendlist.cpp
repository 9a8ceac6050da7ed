// Times the send list with 100,000 numbers: reading a number file and appending it, removing
// duplicates, sorting and shuffling, with and without a list view attached, and the save of
// the list into T_LASTNO (SQLite). Run by hand on a Release build:
//   bench_sendlist [count]
#include "db/CDbAccess.h"
#include "send/CRandGenerator.h"
#include "send/LastNumbers.h"
#include "base/NumberRules.h"
#include "send/SendListModel.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QListView>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

namespace {
double Milliseconds(const std::function<void()> &prepare, const std::function<void()> &work, int runs = 5)
{
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        prepare();
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
    std::printf("%-58s %9.1f ms\n", what, ms);
}
} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int count = argc > 1 ? QByteArray(argv[1]).toInt() : 100000;

    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("numbers.txt"));
    {
        // Distinct mobile numbers in a scrambled order, as a file exported elsewhere would be.
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly))
            return 1;
        QByteArray text("start\r\n");
        // 1000003 is prime, so i * 104729 mod 1000003 differs for every i below it.
        for (int i = 0; i < count; ++i)
            text += QByteArray::number(13000000000LL + (i * 104729LL) % 1000003) + "\r\n";
        text += "end\r\n";
        file.write(text);
    }

    std::printf("send list of %d numbers\n", count);
    QStringList numbers;
    int failures = 0;
    Report("ReadNumberFile", Milliseconds([&] { failures = 0; }, [&] { NumberRules::ReadNumberFile(path, &numbers, &failures); }));
    std::printf("  %lld numbers read, %d failures\n", qlonglong(numbers.size()), failures);

    for (bool withView : {false, true}) {
        std::printf("%s\n", withView ? "with a shown list view (wrapping columns):" : "model alone:");
        SendListModel model;
        QListView view;
        if (withView) {
            view.setFlow(QListView::TopToBottom);
            view.setWrapping(true);
            view.setResizeMode(QListView::Adjust);
            view.setUniformItemSizes(true);
            view.setSelectionMode(QAbstractItemView::MultiSelection);
            view.setModel(&model);
            view.resize(700, 300);
            view.show();
        }
        // Each timing includes the view catching up (its layout runs on the event loop).
        const auto settle = [&] {
            if (withView)
                QCoreApplication::processEvents();
        };
        Report("  import (ReadNumberFile + Append)", Milliseconds([&] { model.Clear(); settle(); }, [&] {
            QStringList read;
            int f = 0;
            NumberRules::ReadNumberFile(path, &read, &f);
            model.Append(read);
            settle();
        }));
        Report("  remove duplicates (file imported twice: 2 x n -> n)", Milliseconds([&] {
            model.SetAll(numbers + numbers);
            settle();
        }, [&] { model.RemoveDuplicates(); settle(); }));
        CRandGenerator generator;
        Report("  shuffle", Milliseconds([&] { model.SetAll(numbers); settle(); }, [&] { model.Shuffle(generator); settle(); }));
        QStringList shuffled = numbers;
        SendListModel::ShuffleEntries(shuffled, generator);
        Report("  sort (shuffled list)", Milliseconds([&] { model.SetAll(shuffled); settle(); }, [&] { model.Sort(); settle(); }));
        QList<int> everyThird;
        for (int i = 0; i < count; i += 3)
            everyThird << i;
        Report("  move a third of the entries to the front", Milliseconds([&] { model.SetAll(numbers); settle(); }, [&] {
            model.MoveToFront(everyThird);
            settle();
        }));
        Report("  remove a third of the entries", Milliseconds([&] { model.SetAll(numbers); settle(); }, [&] {
            model.RemoveRows(everyThird);
            settle();
        }));
    }

    const QString dbDir = dir.filePath(QStringLiteral("db"));
    QDir().mkpath(dbDir);
    DbSettings settings;
    settings.m_driver = DbSettings::Sqlite;
    settings.m_strSqliteFile = dbDir + QStringLiteral("/BENCH.db");
    CDbAccess db([settings] { return settings; });
    Report("SaveLastNumbers (SQLite, one transaction)", Milliseconds([] {}, [&] { LastNumbers::SaveLastNumbers(db, numbers); }, 3));
    Report("LoadLastNumbers (SQLite)", Milliseconds([] {}, [&] { LastNumbers::LoadLastNumbers(db); }, 3));
    return 0;
}
