// The port map file as the tool keeps it on Linux: new pins saved at once,
// a map it cannot read left alone, a broken write leaving the old map whole.
#include "PortFixtures.h"

#include <QDir>
#include <QTemporaryDir>

#include <csignal>
#include <sys/resource.h>

class PortMapTest : public QObject {
    Q_OBJECT
private slots:
    void newPinsAreSavedAtOnceAndNeverMove()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("alarmcfg/ports.json"));
        const ports::EnvLookup noEnv = envOf({});

        ports::PortTable t = ports::lookUpPorts({A}, path, noEnv);
        QCOMPARE(outcome(t.com).first(), QStringLiteral("assigned /dev/ttyUSB0"));
        QCOMPARE(ports::loadPortMap(path).pins, (PortMap{{1, pinOf(A)}}));

        t = ports::lookUpPorts({renamed(B, "ttyUSB0"), renamed(A, "ttyUSB1")}, path, noEnv);
        QCOMPARE(outcome(t.com).mid(0, 2), QStringList({"saved /dev/ttyUSB1", "assigned /dev/ttyUSB0"}));

        t = ports::lookUpPorts({renamed(B, "ttyUSB3")}, path, noEnv); // the first one unplugged
        QCOMPARE(outcome(t.com).mid(0, 2), QStringList({"saved", "saved /dev/ttyUSB3"}));
        QCOMPARE(ports::loadPortMap(path).pins, (PortMap{{1, pinOf(A)}, {2, pinOf(B)}}));
        QVERIFY(t.notes.isEmpty());
    }

    void aMapThatCannotBeReadIsIgnoredAndLeftAlone_data()
    {
        QTest::addColumn<QByteArray>("content"); // empty: the map's name is taken by a folder
        QTest::newRow("cut short") << QByteArray("{ \"COM1\": { \"link\": ");
        QTest::newRow("not a port map") << QByteArray(R"({"COM1": "/dev/ttyUSB0"})");
        QTest::newRow("unreadable") << QByteArray();
    }

    void aMapThatCannotBeReadIsIgnoredAndLeftAlone()
    {
        QFETCH(QByteArray, content);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("ports.json"));
        if (content.isEmpty())
            QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("ports.json")));
        else
            writeFile(path, content);

        const ports::PortTable t = ports::lookUpPorts({A}, path, envOf({}));
        QCOMPARE(outcome(t.com).first(), QStringLiteral("unsaved /dev/ttyUSB0")); // still reachable
        QCOMPARE(t.notes.size(), 1);
        QVERIFY2(t.notes.first().contains(path) && t.notes.first().contains(QStringLiteral("ignored")), qPrintable(t.notes.first()));
        if (content.isEmpty())
            QVERIFY(QFileInfo(path).isDir());
        else
            QCOMPARE(fileBytes(path), content); // the operator's map, typo and all, is theirs to mend
    }

    void aBrokenWriteLeavesTheOldMapWhole()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("ports.json"));
        QString error;
        QVERIFY(ports::savePortMap(path, {{1, pinOf(A)}}, &error));
        const QByteArray before = fileBytes(path);

        // A file size limit stops the write half-way, as a full disk would; it holds for root too.
        rlimit saved{};
        QVERIFY(getrlimit(RLIMIT_FSIZE, &saved) == 0);
        rlimit small = saved;
        small.rlim_cur = 16;
        const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        QVERIFY(setrlimit(RLIMIT_FSIZE, &small) == 0);
        const ports::PortTable t = ports::lookUpPorts({A, B}, path, envOf({}));
        setrlimit(RLIMIT_FSIZE, &saved);
        std::signal(SIGXFSZ, oldHandler);

        QCOMPARE(outcome(t.com).mid(0, 2), QStringList({"saved /dev/ttyUSB0", "unsaved /dev/ttyUSB1"}));
        QCOMPARE(t.notes.size(), 1);
        QVERIFY2(t.notes.first().contains(QStringLiteral("not saved")), qPrintable(t.notes.first()));
        QCOMPARE(fileBytes(path), before);
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList({"ports.json"})); // no half-written leftovers
    }
};

QTEST_GUILESS_MAIN(PortMapTest)
#include "test_port_map.moc"
