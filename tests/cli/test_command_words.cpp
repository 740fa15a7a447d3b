// The command that puts a backup back is printed for pasting: each word must
// come through the shell it is pasted into whole.
#include "CliText.h"

#include <QtTest>

class CommandWordsTest : public QObject {
    Q_OBJECT
private slots:
    void quoting_data()
    {
        QTest::addColumn<QString>("word");
        QTest::addColumn<QString>("posix");
        QTest::addColumn<QString>("windows");

        // Plain literals: moc misreads raw strings that hold a quote.
        QTest::newRow("a plain word stays bare") << "--no-backup" << "--no-backup" << "--no-backup";
        QTest::newRow("a Windows path without blanks") << "C:\\Users\\li\\x.json" << "'C:\\Users\\li\\x.json'"
                                                       << "C:\\Users\\li\\x.json";
        QTest::newRow("a blank") << "/home/li wei/x.json" << "'/home/li wei/x.json'" << "\"/home/li wei/x.json\"";
        QTest::newRow("a blank in a Windows path") << "C:\\Users\\Li Wei\\x.json" << "'C:\\Users\\Li Wei\\x.json'"
                                                    << "\"C:\\Users\\Li Wei\\x.json\"";
        QTest::newRow("a quote of each kind") << "it's \"it\"" << "'it'\\''s \"it\"'" << "\"it's \\\"it\\\"\"";
        QTest::newRow("backslashes before a quote are doubled") << "a\\\"b" << "'a\\\"b'" << "\"a\\\\\\\"b\"";
        QTest::newRow("a trailing backslash in quotes") << "C:\\my dir\\" << "'C:\\my dir\\'" << "\"C:\\my dir\\\\\"";
        QTest::newRow("Chinese") << "备份 一.json" << "'备份 一.json'" << "\"备份 一.json\"";
        QTest::newRow("nothing") << "" << "''" << "\"\"";
    }

    void quoting()
    {
        QFETCH(QString, word);
        QFETCH(QString, posix);
        QFETCH(QString, windows);
        QCOMPARE(cli::shellQuoted(word), posix);
        QCOMPARE(cli::windowsQuoted(word), windows);
    }
};

QTEST_GUILESS_MAIN(CommandWordsTest)
#include "test_command_words.moc"
