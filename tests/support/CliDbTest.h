#pragma once
// The base of a test that runs skevo-cli on each database of the run: the built skevo-cli must
// be there, and the databases are made before the first case and dropped after the last.
#include "DbTargets.h"
#include "TestEnv.h"

#include <QFileInfo>
#include <QObject>
#include <QTest>

class CliDbTest : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase()
    {
        QVERIFY2(QFileInfo(TestEnv::CliPath()).isExecutable(), "SKEVO_CLI must name the built skevo-cli");
        m_targets.Init();
    }
    void cleanupTestCase() { m_targets.Cleanup(); }

protected:
    DbTargets m_targets;
};

// In a case of a CliDbTest with a "dialect" column: var, a fresh database of that dialect.
#define FRESH_DB(var)                                                                             \
    SKEVO_FRESH_DB(m_targets, var##Opt);                                                          \
    const DbSettings var = *var##Opt
