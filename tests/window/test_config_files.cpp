// Configuration files in the window: 导出配置 keeps what the window shows,
// 导入配置 puts it back into another window, and a bad file changes nothing.
// The hand-over sheet is saved, then offered to open.
#include "WindowFixture.h"
#include "PlannedWrites.h"

#include "ConfigFile.h"
#include "DeviceImage.h"
#include "Messages.h"
#include "ProblemMessages.h"
#include "RegisterText.h"

#include "RegisterMap.h"

#include <QDesktopServices>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPushButton>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

namespace {
// The writes of a whole configuration, as many as the register map has.
const int kWrites = plannedwrites::count();


QVector<FakeLink::Call> writesOf(const FakeLink &link)
{
    QVector<FakeLink::Call> out;
    for (const FakeLink::Call &c : link.calls)
        if (c.kind == FakeLink::Call::WriteBlock || c.kind == FakeLink::Call::WriteSingle)
            out << c;
    return out;
}

bool sameWrites(const QVector<FakeLink::Call> &a, const QVector<FakeLink::Call> &b)
{
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](const FakeLink::Call &x, const FakeLink::Call &y) {
        return x.kind == y.kind && x.start == y.start && x.values == y.values;
    });
}

// Everything the window shows that an import could change.
QStringList controls(FormMain &f)
{
    const params::ParameterSet set = f.CollectParameterSet();
    QStringList out = set.phones;
    out << set.password << set.allOn << set.allOff << QString::number(static_cast<int>(set.alarmMode))
        << QString::number(set.powerLossMemory) << QString::number(set.phoneAlarm) << f.cmbDISel->currentText()
        << f.txtDIAlarm->toPlainText();
    for (const params::RelaySettings &r : set.relays)
        out << r.on << r.off << r.onReply << r.offReply << f.txtTime[&r - set.relays.data()]->text();
    for (const QString &t : f.strAlarmText)
        out << t;
    return out;
}

QJsonObject validFile()
{
    return QJsonDocument::fromJson(config::serialize(params::startUpSet(), QString(), QDateTime())).object();
}

// Changes one value at a path such as "parameters.relays[1].on"; a null value removes the key.
QJsonObject withValue(QJsonObject top, const QString &path, const QJsonValue &value)
{
    const QStringList keys = path.split(u'.');
    std::function<QJsonValue(QJsonValue, int)> set = [&](QJsonValue node, int depth) -> QJsonValue {
        QString key = keys[depth];
        int index = -1;
        if (key.endsWith(u']')) {
            index = key.section(u'[', 1).chopped(1).toInt();
            key = key.section(u'[', 0, 0);
        }
        QJsonObject object = node.toObject();
        const bool last = depth == keys.size() - 1;
        if (index >= 0) {
            QJsonArray array = object.value(key).toArray();
            array[index] = last ? value : set(array[index], depth + 1);
            object[key] = array;
        } else if (last && value.isNull()) {
            object.remove(key);
        } else {
            object[key] = last ? value : set(object.value(key), depth + 1);
        }
        return object;
    };
    return set(top, 0).toObject();
}

QByteArray json(const QJsonObject &o) { return QJsonDocument(o).toJson(); }

} // namespace

// Stands in for the program that opens a file.
class Opener : public QObject {
    Q_OBJECT
public:
    QList<QUrl> opened;
public slots:
    void open(const QUrl &url) { opened << url; }
};

class ConfigFilesTest : public QObject {
    Q_OBJECT

    QTemporaryDir dir;

private slots:
    void exportThenImportWritesTheSame()
    {
        WindowFixture a;
        a.connectQuietly();
        editEveryField(*a.form);
        a.form->txtTime[1]->setText(QStringLiteral("２．５")); // the file holds what the write sends: 2
        a.chosenFile = dir.filePath("copy.json");
        a.form->cmdExport->click();
        QCOMPARE(a.messages, QStringList({msg::configExported(a.chosenFile)}));
        QVERIFY(a.link.calls.isEmpty()); // nothing goes to the device
        a.form->WriteAllParameters();

        WindowFixture b;
        b.connectQuietly();
        b.chosenFile = a.chosenFile;
        b.form->cmbDISel->setCurrentIndex(3);
        b.form->cmdImport->click();
        QCOMPARE(b.messages, QStringList({msg::configImported()}));
        QVERIFY(b.link.calls.isEmpty());
        // Filled as the factory restore fills the window: entry 0 shows its own text.
        QCOMPARE(b.form->cmbDISel->currentIndex(), 0);
        QCOMPARE(b.form->txtDIAlarm->toPlainText(), b.form->strAlarmText[0]);
        QCOMPARE(b.form->strAlarmText[2], QStringLiteral("一号门打开"));
        b.form->WriteAllParameters();
        QCOMPARE(writesOf(b.link).size(), kWrites);
        QVERIFY(sameWrites(writesOf(b.link), writesOf(a.link)));

        const config::ParseResult saved = config::readFile(a.chosenFile);
        QVERIFY(saved.configuration);
        QCOMPARE(saved.configuration->firmware, QStringLiteral("V1.5")); // a device had been read
        QCOMPARE(a.suggestedFiles.size(), 1);
        QVERIFY2(QRegularExpression(QStringLiteral("/alarmcfg-\\d{8}-\\d{4}\\.json$")).match(a.suggestedFiles[0]).hasMatch(),
                 qPrintable(a.suggestedFiles[0]));
    }

    void aRefusedFileChangesNoControl_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QString>("line"); // what the message says about it
        const QJsonObject ok = validFile();
        // A field of the window is named as the window names it, next to its path.
        auto field = [](const QString &path, const QString &message) { return path + QStringLiteral("：") + message; };
        auto named = [](const QString &caption, const QString &path, const QString &message) {
            return caption + QStringLiteral("（") + path + QStringLiteral("）：") + message;
        };
        QTest::newRow("not JSON") << QByteArray("{ \"format\": ") << msg::fileNotJson(QString()).section(u'（', 0, 0);
        QTest::newRow("not an object") << QByteArray("[1, 2]") << msg::fileNotAnObject();
        QTest::newRow("another format") << json(withValue(ok, "format", "other"))
                                        << field("format", msg::fileWrongFormat("other"));
        QTest::newRow("no version") << json(withValue(ok, "version", QJsonValue())) << field("version", msg::fileVersionMissing());
        QTest::newRow("a newer version") << json(withValue(ok, "version", 2)) << field("version", msg::fileVersionTooNew("2"));
        QTest::newRow("a misspelt key") << json(withValue(ok, "parameters.relays[0].onn", "x"))
                                        << field("parameters.relays[0].onn", msg::fileUnknownKey());
        QTest::newRow("a missing key") << json(withValue(ok, "parameters.allOff", QJsonValue()))
                                       << named("全关命令", "parameters.allOff", msg::fileMissingKey());
        QTest::newRow("a number for a text") << json(withValue(ok, "parameters.password", 739154))
                                             << "指令密码（parameters.password）：" + msg::fileWrongType(QString()).section(u'：', 0, 0);
        QTest::newRow("an unknown mode") << json(withValue(ok, "parameters.alarmMode", "sometimes"))
                                         << QStringLiteral("报警模式（parameters.alarmMode）：");
        QTest::newRow("six phones") << json(withValue(ok, "parameters.phones", QJsonArray{"1", "2", "3", "4", "5", "6"}))
                                    << field("parameters.phones", msg::fileTooManyPhones("6"));
        QTest::newRow("an action time too large") << json(withValue(ok, "parameters.relays[1].actionTime", 40000))
                                                  << named("继电器2动作时间", "parameters.relays[1].actionTime", msg::actionTimeOutOfRange());
        QTest::newRow("a command too long") << json(withValue(ok, "parameters.relays[1].on", QString(13, u'x')))
                                            << named("继电器2开启命令", "parameters.relays[1].on", msg::commandTooLong());
        QTest::newRow("a star in the password") << json(withValue(ok, "parameters.password", "1*2"))
                                                << named("指令密码", "parameters.password", msg::holdsPasswordSeparator(QStringLiteral("指令密码")));
        QTest::newRow("a character GBK lacks") << json(withValue(ok, "parameters.alarmTexts.channel1Opening", "门😀"))
                                               << named("通道1断开短信", "parameters.alarmTexts.channel1Opening", msg::unsendableCharacter("😀"));
        QTest::newRow("a NUL") << json(withValue(ok, "parameters.relays[0].offReply", QStringLiteral("关\u0000")))
                               << named("继电器1关闭回复", "parameters.relays[0].offReply", msg::unsendableCharacter("U+0000"));
        QTest::newRow("a key twice") << json(ok).replace("\"password\": ", "\"password\": \"2024\", \"password\": ")
                                     << named("指令密码", "parameters.password", msg::fileDuplicateKey());
        QTest::newRow("a key twice in a relay")
            << json(ok).replace("\"actionTime\": 0", "\"actionTime\": 0, \"on\": \"x\"")
            << named("继电器1开启命令", "parameters.relays[0].on", msg::fileDuplicateKey());
        QTest::newRow("a phone that is no number") << json(withValue(ok, "parameters.phones", QJsonArray{"138-1"}))
                                                   << named("第1个手机号码", "parameters.phones[0]", msg::phoneNotANumber(1, "138-1"));
        QTest::newRow("over 1 MiB") << QByteArray(config::kMaxFileBytes + 1, ' ') << msg::fileTooLarge();
    }

    void aRefusedFileChangesNoControl()
    {
        QFETCH(QByteArray, file);
        QFETCH(QString, line);
        WindowFixture w;
        w.connectQuietly();
        editEveryField(*w.form);
        const QStringList before = controls(*w.form);
        w.chosenFile = dir.filePath("bad.json");
        QFile out(w.chosenFile);
        QVERIFY(out.open(QIODevice::WriteOnly | QIODevice::Truncate) && out.write(file) == file.size());
        out.close();
        w.form->cmdImport->click();
        QCOMPARE(w.messages.size(), 1);
        QVERIFY2(w.messages[0].startsWith(msg::configRefused(w.chosenFile, QString())), qPrintable(w.messages[0]));
        QVERIFY2(w.messages[0].contains(line), qPrintable(w.messages[0]));
        QCOMPARE(controls(*w.form), before);
        QVERIFY(w.link.calls.isEmpty());
    }

    void everyProblemOfAFileIsListed()
    {
        QJsonObject file = withValue(validFile(), "parameters.password", 1);
        file = withValue(file, "parameters.phoneAlarm", "yes");
        file = withValue(file, "parameters.extra", true);
        file = withValue(file, "parameters.allOn", "all*on");     // and what the write would refuse
        file = withValue(file, "parameters.phones", QJsonArray{"1 2"});
        const config::ParseResult result = config::parse(json(file));
        QStringList fields;
        for (const params::Problem &p : result.problems)
            fields << p.field;
        fields.sort();
        QCOMPARE(fields, QStringList({"parameters.allOn", "parameters.extra", "parameters.password",
                                      "parameters.phoneAlarm", "parameters.phones[0]"}));
        QVERIFY(!result.configuration);
    }

    void exportAndTheSheetRunTheWritesChecks()
    {
        WindowFixture w;
        w.form->txtMiMa->setText(QStringLiteral("1234567"));
        w.chosenFile = dir.filePath("refused.json");
        w.form->cmdExport->click();
        w.form->cmdSheet->click();
        QCOMPARE(w.messages, QStringList({msg::passwordTooLong(), msg::passwordTooLong()}));
        QVERIFY(w.suggestedFiles.isEmpty()); // not even asked where
        QVERIFY(!QFile::exists(w.chosenFile));
    }

    void aSheetIsSavedThenOfferedToOpen()
    {
        WindowFixture w;
        w.connectQuietly();
        w.chosenFile = dir.filePath("sheet.pdf");
        Opener opener;
        QDesktopServices::setUrlHandler(QStringLiteral("file"), &opener, "open");
        for (const bool yes : {false, true}) {
            w.answer = yes;
            w.messages.clear();
            w.form->cmdSheet->click();
            QCOMPARE(w.messages, QStringList({msg::sheetSaved(w.chosenFile, QString())}));
            QCOMPARE(opener.opened.size(), yes ? 1 : 0);
        }
        QDesktopServices::unsetUrlHandler(QStringLiteral("file"));
        QCOMPARE(opener.opened.value(0), QUrl::fromLocalFile(w.chosenFile));
        QVERIFY(w.suggestedFiles.value(0).endsWith(QStringLiteral(".pdf")));
        QFile saved(w.chosenFile);
        QVERIFY(saved.open(QIODevice::ReadOnly));
        QVERIFY(saved.readAll().startsWith("%PDF-"));
        QVERIFY(w.link.calls.isEmpty()); // nothing goes to the device
    }

    // Connected, the sheet is the device's: edits not yet written are not on
    // it, and the message says so; once written they are the device's. After
    // a write stopped part-way the window asks for a read first.
    void aConnectedSheetShowsTheDevice()
    {
        WindowFixture w;
        w.connectQuietly();
        w.chosenFile = dir.filePath("device.pdf");
        w.form->txtOpen[0]->setText(QStringLiteral("edited"));
        w.form->cmdSheet->click();
        QCOMPARE(w.messages, QStringList({msg::sheetSaved(w.chosenFile, QStringLiteral("\n\n") + msg::sheetShowsDevice())}));
        w.form->WriteAllParameters();
        w.messages.clear();
        w.form->cmdSheet->click();
        QCOMPARE(w.messages, QStringList({msg::sheetSaved(w.chosenFile, QString())}));

        w.form->txtOpen[0]->setText(QStringLiteral("again"));
        w.link.onRequest = [&](const FakeLink::Call &c) { // the second write goes unanswered
            if (c.kind == FakeLink::Call::WriteBlock)
                w.link.failStarts << 30;
        };
        w.form->WriteAllParameters();
        w.link.onRequest = {};
        w.link.failStarts.clear();
        w.messages.clear();
        w.form->cmdSheet->click();
        QCOMPARE(w.messages, QStringList({msg::sheetNeedsRead()}));
        w.form->ReadRelayCommands();
        w.messages.clear();
        w.form->cmdSheet->click();
        QCOMPARE(w.messages, QStringList({msg::sheetSaved(w.chosenFile, QString())}));
    }

    void exportNamesTheTextsReadOnlyInPart()
    {
        WindowFixture w;
        const QVector<quint16> regs = regtext::slotRegisters(regtext::encodeGbk(QStringLiteral("前门被打开，请立即检查现场安全")).bytes, 40);
        std::copy(regs.begin(), regs.end(), w.link.image.begin() + 810);
        w.connectQuietly();
        w.chosenFile = dir.filePath("partial.json");
        w.form->cmdExport->click();
        QCOMPARE(w.messages.size(), 1);
        QVERIFY2(w.messages[0].contains(msg::exportedAsShown(QStringLiteral("通道1闭合短信"))), qPrintable(w.messages[0]));
        QCOMPARE(config::readFile(w.chosenFile).configuration->set.alarmTexts[0], QStringLiteral("前门被打开，请立即检"));
        // And so does the sheet.
        w.chosenFile = dir.filePath("partial.pdf");
        w.form->cmdSheet->click();
        QVERIFY2(w.messages.value(1).contains(msg::sheetShowsPart(QStringLiteral("通道1闭合短信"))), qPrintable(w.messages.value(1)));
    }

    // An import keeps the reading: what the file holds as the read gave it
    // goes back as read, as if it had never been edited.
    void importingWhatWasReadChangesNoRegister()
    {
        WindowFixture w;
        w.link.image = deviceimage::oddImage();
        w.connectQuietly();
        w.chosenFile = dir.filePath("odd.json");
        w.form->cmdExport->click();
        w.form->txtMiMa->setText(QStringLiteral("9999"));
        w.form->txtAnswer[0]->setText(QStringLiteral("edited"));
        w.form->OptMode[0]->setChecked(true);
        w.form->cmdImport->click();
        w.form->WriteAllParameters();
        QCOMPARE(w.messages.size(), 3);
        QCOMPARE(w.messages.mid(1), QStringList({msg::configImported(), msg::writeSucceeded()}));
        QCOMPARE(deviceimage::differingRegisters(w.link.image, deviceimage::oddImage()), QList<int>());
    }

    void cancellingADialogDoesNothing()
    {
        WindowFixture w;
        w.chosenFile.clear();
        const QStringList before = controls(*w.form);
        w.form->cmdExport->click();
        w.form->cmdImport->click();
        w.form->cmdSheet->click();
        QVERIFY(w.messages.isEmpty());
        QCOMPARE(w.suggestedFiles.size(), 3);
        QCOMPARE(controls(*w.form), before);
    }
};

QTEST_MAIN(ConfigFilesTest)
#include "test_config_files.moc"
