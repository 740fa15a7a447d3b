// Backups: the registers survive the file exactly, a file that is not
// whole is refused, and no backup ever takes another's name.
#include "BackupFile.h"
#include "FactoryDefaults.h"

#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

namespace {

backup::Backup sample()
{
    const std::vector<quint16> image = factory::registerImage();
    backup::Backup b;
    b.port = QStringLiteral("/dev/site.a");
    b.firmware = QStringLiteral("V1.5");
    b.saved = QDateTime::fromString(QStringLiteral("2026-12-08T10:15:02.347+08:00"), Qt::ISODateWithMs);
    quint16 v = 1;
    for (const regmap::Block &block : backup::backupBlocks()) {
        QVector<quint16> regs;
        for (int i = 0; i < block.count; ++i)
            regs << quint16(image[block.start + i] ^ v++); // every register its own value
        b.blocks[block.start] = regs;
    }
    return b;
}

} // namespace

class BackupFileTest : public QObject {
    Q_OBJECT
private slots:
    void theRegistersComeBackExactly()
    {
        const backup::Backup b = sample();
        const backup::ParseResult parsed = backup::parse(backup::serialize(b));
        QVERIFY2(parsed.backup, qPrintable(parsed.problems.join('\n')));
        QCOMPARE(parsed.backup->blocks, b.blocks);
        QCOMPARE(parsed.backup->port, b.port);
        QCOMPARE(parsed.backup->saved, b.saved);
    }

    void aBackupThatIsNotWholeIsRefused_data()
    {
        QTest::addColumn<QString>("from"); // a pattern
        QTest::addColumn<QString>("to");
        QTest::addColumn<QString>("problem");
        QTest::newRow("a block moved") << R"(\{"start": 1050, )" << R"({"start": 1049, )"
                                       << "no block of a backup starts at 1049";
        QTest::newRow("a block missing") << R"(,\n    \{"start": 1050, "values": \[\d+\]\})" << ""
                                         << "the block at 1050 (1 registers) is missing";
        QTest::newRow("a register short") << R"("values": \[\d+, )" << R"("values": [)"
                                          << "19 registers at 10, the block has 20";
        QTest::newRow("a value out of range") << R"("start": 30, "values": \[\d+, \d+)" << R"("start": 30, "values": [1, 70000)"
                                              << "register 31: 70000 is not a register value";
        // The readable part edited by hand: it would be ignored, so it is refused.
        QTest::newRow("an edited configuration") << "\"password\": \"[^\"]*\"" << "\"password\": \"2468\""
                                                 << "configuration: parameters.password says \"2468\", its registers \"";
        QTest::newRow("a newer version") << R"("version": 1)" << R"("version": 2)" << "newer";
        QTest::newRow("another format") << "alarmcfg-backup" << "something-else" << "not an alarmcfg backup";
    }

    void aBackupThatIsNotWholeIsRefused()
    {
        QFETCH(QString, from);
        QFETCH(QString, to);
        QFETCH(QString, problem);
        QString text = QString::fromUtf8(backup::serialize(sample()));
        const QRegularExpressionMatch m = QRegularExpression(from).match(text);
        QVERIFY2(m.hasMatch(), qPrintable(from));
        text.replace(m.capturedStart(), m.capturedLength(), to);
        const backup::ParseResult parsed = backup::parse(text.toUtf8());
        QVERIFY(!parsed.backup);
        QVERIFY2(parsed.problems.join('\n').contains(problem), qPrintable(parsed.problems.join('\n')));
    }

    // A backup an editor saved in another encoding is named as such.
    void anotherEncodingIsNamed_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("problem");
        const QString text = QString::fromUtf8(backup::serialize(sample()));
        QByteArray utf16("\xFF\xFE");
        utf16.append(reinterpret_cast<const char *>(text.utf16()), text.size() * 2);
        QTest::newRow("UTF-16 with its mark") << utf16 << "UTF-16";
        QTest::newRow("UTF-16 without") << utf16.mid(2) << "UTF-16";
        QTest::newRow("GBK") << text.toUtf8().replace("V1.5", "\xB5\xE7") << "not UTF-8";
    }

    void anotherEncodingIsNamed()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, problem);
        const backup::ParseResult parsed = backup::parse(bytes);
        QVERIFY(!parsed.backup);
        QVERIFY2(parsed.problems.join('\n').contains(problem), qPrintable(parsed.problems.join('\n')));
        // Notepad's UTF-8, with its byte order mark, is read.
        QVERIFY(backup::parse("\xEF\xBB\xBF" + backup::serialize(sample())).backup);
    }

    void noTwoPortsShareAName()
    {
        const QStringList ports{"/dev/site.a", "/dev/site_a", "/dev/site-a", "/dev/site a", "COM1", "com1"};
        QSet<QString> parts;
        for (const QString &p : ports)
            parts << backup::portFilePart(p);
        QCOMPARE(parts.size(), ports.size());
        QCOMPARE(backup::portFilePart("COM3"), QStringLiteral("COM3"));
    }

    void aBackupNeverReplacesAnother()
    {
        QTemporaryDir dir;
        const backup::Backup b = sample(); // the same port and the same millisecond, twice
        QString error;
        const std::optional<QString> first = backup::saveNew(dir.path(), b, &error);
        const std::optional<QString> second = backup::saveNew(dir.path(), b, &error);
        QVERIFY2(first && second, qPrintable(error));
        QVERIFY(*first != *second);
        QVERIFY(QFileInfo(*first).fileName().startsWith("20261208-101502-347-_2Fdev_2Fsite_2Ea"));
        QFile f(*first);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), backup::serialize(b));

        // A file where the folder should be: refused, with the reason.
        const QString blocked = dir.filePath("blocked");
        QFile file(blocked);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.close();
        QVERIFY(!backup::saveNew(blocked, b, &error));
        QVERIFY2(error.contains("is a regular file, not a folder"), qPrintable(error));
    }
};

QTEST_GUILESS_MAIN(BackupFileTest)
#include "test_backup_file.moc"
