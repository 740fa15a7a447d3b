// Configuration files in the window where POSIX decides: who may read an
// exported file, and a save that the system stops half-way.
#include "WindowFixture.h"

#include "Messages.h"

#include <QDir>
#include <QFile>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

class ConfigFilesPosixTest : public QObject {
    Q_OBJECT

    QTemporaryDir dir;

private slots:
    void anExportIsItsOwnersAlone()
    {
        WindowFixture w;
        w.connectQuietly();
        w.chosenFile = dir.filePath("copy.json");
        w.form->cmdExport->click();
        QCOMPARE(w.messages, QStringList({msg::configExported(w.chosenFile)}));
        struct stat mode {};
        QCOMPARE(::stat(QFile::encodeName(w.chosenFile).constData(), &mode), 0);
        QCOMPARE(mode.st_mode & 0777, 0600u); // the password is in it
    }

    void aSaveThatFailsKeepsTheEarlierFile_data()
    {
        QTest::addColumn<bool>("readOnlyDirectory"); // else a full disk, as a file size limit makes one
        QTest::newRow("disk full") << false;
        QTest::newRow("directory that cannot be written") << true;
    }

    void aSaveThatFailsKeepsTheEarlierFile()
    {
        QFETCH(bool, readOnlyDirectory);
        if (readOnlyDirectory && ::geteuid() == 0)
            QSKIP("root writes into any directory");
        QTemporaryDir here;
        const QString path = here.filePath("config.json");
        QFile earlier(path);
        QVERIFY(earlier.open(QIODevice::WriteOnly) && earlier.write("earlier") == 7);
        earlier.close();

        WindowFixture w;
        w.chosenFile = path;
        rlimit saved{};
        ::getrlimit(RLIMIT_FSIZE, &saved);
        if (readOnlyDirectory) {
            QVERIFY(QFile::setPermissions(here.path(), QFile::ReadOwner | QFile::ExeOwner));
        } else {
            std::signal(SIGXFSZ, SIG_IGN); // a write past the limit fails instead of ending the test
            rlimit small = saved;
            small.rlim_cur = 100;
            QCOMPARE(::setrlimit(RLIMIT_FSIZE, &small), 0);
        }
        w.form->cmdExport->click();
        ::setrlimit(RLIMIT_FSIZE, &saved);
        QFile::setPermissions(here.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);

        QCOMPARE(w.messages.size(), 1);
        QVERIFY2(w.messages[0].startsWith(msg::configNotSaved(path, QString()).section(u'\n', 0, 1)), qPrintable(w.messages[0]));
        QVERIFY(w.messages[0].endsWith(msg::configNotSaved(QString(), QString()).section(u'\n', -1)));
        QVERIFY(earlier.open(QIODevice::ReadOnly));
        QCOMPARE(earlier.readAll(), QByteArray("earlier"));
        QCOMPARE(QDir(here.path()).entryList(QDir::Files), QStringList({"config.json"})); // no half-written file beside it
    }

};

QTEST_MAIN(ConfigFilesPosixTest)
#include "test_config_files_posix.moc"
