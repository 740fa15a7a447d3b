// Writing the parameter set: the exact writes, the checks that come before
// any of them, the progress bar and the outcome messages.
#include "WindowFixture.h"
#include "PlannedWrites.h"

#include "DeviceImage.h"
#include "FactoryDefaults.h"
#include "Messages.h"
#include "RegisterText.h"

#include "RegisterMap.h"

#include <QCheckBox>
#include <QComboBox>
#include <QPlainTextEdit>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QRadioButton>
#include <QtTest>

namespace {
// The writes of a whole configuration, as many as the register map has.
const int kWrites = plannedwrites::count();

QVector<quint16> slotText(const QString &text, int capacity = 40)
{
    return regtext::slotRegisters(regtext::encodeGbk(text).bytes, capacity);
}
} // namespace

class ParameterWriteTest : public QObject {
    Q_OBJECT

    WindowFixture *w = nullptr;
    FormMain *f = nullptr;

    // The read before every write, for its backup: each slot whole.
    static QStringList backupReads()
    {
        QStringList reads;
        for (const regmap::Block &b : regmap::configurationBlocks())
            for (const regmap::Block &part : regmap::readParts(b.start, b.count))
                reads << QStringLiteral("R%1x%2").arg(part.start).arg(part.count);
        return reads;
    }

    FakeLink::Call writeAt(int start) const
    {
        for (const FakeLink::Call &c : w->link.calls)
            if (c.kind != FakeLink::Call::Read && c.start == start)
                return c;
        return FakeLink::Call(FakeLink::Call::Open, -1);
    }

private slots:
    void init()
    {
        w = new WindowFixture;
        f = w->form.get();
        w->connectQuietly();
    }
    void cleanup() { delete w; }

    void theFactorySetGoesOutInItsPlannedWrites()
    {
        f->WriteAllParameters();
        // The device is read whole for its backup, then written as planned
        // (the plan's own order is pinned in test_parameter_set).
        const QStringList trace = w->link.requestTrace();
        const qsizetype reads = backupReads().size();
        QCOMPARE(trace.mid(0, reads), backupReads());
        QStringList planned;
        for (const params::PlannedWrite &p : params::planWrites(params::factorySet()))
            planned << (p.single ? QStringLiteral("S%1=%2").arg(p.start).arg(p.registers[0])
                                 : QStringLiteral("W%1x%2").arg(p.start).arg(p.registers.size()));
        QCOMPARE(trace.mid(reads), planned);
        QCOMPARE(planned.size(), kWrites);
        QCOMPARE(w->messages, QStringList({msg::writeSucceeded()}));
        // Written back, the device holds exactly its factory image again.
        QVERIFY(w->link.image == factory::registerImage());
        QCOMPARE(writeAt(10).values, slotText(QStringLiteral("739154*设备1开")));
        QCOMPARE(writeAt(730).values, QVector<quint16>({0x6100}));
        QCOMPARE(writeAt(900).values, QVector<quint16>(8, 0));
    }

    void textsLengthsPasswordPhonesAndTimes()
    {
        f->txtMiMa->setText(QString());
        f->txtOpen[0]->setText(QStringLiteral("AB"));
        f->txtOpen[1]->setText(QStringLiteral("ABC"));
        f->txtAnswer[0]->setText(QString());
        f->txtCAnswer[1]->setText(QStringLiteral("继电器已关"));
        f->txtAllCmd[1]->setText(QStringLiteral("all off"));
        f->strAlarmText[0] = QString(30, u'x');
        f->strAlarmText[1] = QString(20, u'报'); // 40 bytes fill the slot
        f->lstPhone->clear();
        f->lstPhone->addItems({"15800000000", "12345", "158000000001"});
        f->lstPhone->setCurrentRow(1);
        f->txtTime[0]->setText(QStringLiteral("2.5"));
        f->txtTime[1]->setText(QStringLiteral("&H10"));
        f->OptMode[0]->setChecked(true);
        f->chkPhoneAlarm->setChecked(true);
        f->WriteAllParameters();

        QCOMPARE(w->messages, QStringList({msg::writeSucceeded()}));
        QCOMPARE(writeAt(10).values, QVector<quint16>({0x4142, 0x0000}));
        QCOMPARE(writeAt(90).values, QVector<quint16>({0x4142, 0x4300}));
        QCOMPARE(writeAt(50).values, QVector<quint16>({0}));
        QCOMPARE(writeAt(30).values, slotText(QStringLiteral("设备1关")));
        QCOMPARE(writeAt(150).values, slotText(QStringLiteral("继电器已关")));
        QCOMPARE(writeAt(510).values, slotText(QStringLiteral("all off")));
        QCOMPARE(writeAt(810).count, 16);
        QCOMPARE(writeAt(830).count, 20);
        QCOMPARE(writeAt(710).values, slotText(QStringLiteral("8615800000000")));
        QCOMPARE(writeAt(730).values, slotText(QStringLiteral("12345")));
        QCOMPARE(writeAt(750).values, slotText(QStringLiteral("158000000001")));
        QCOMPARE(writeAt(770).values, QVector<quint16>({0x6100}));
        QCOMPARE(writeAt(900).values, QVector<quint16>({2, 16, 0, 0, 0, 0, 0, 0}));
        QCOMPARE(writeAt(1050).values, QVector<quint16>({1}));
        QCOMPARE(writeAt(1030).values, QVector<quint16>({2}));
        QVERIFY(f->lstPhone->selectedItems().isEmpty());
        QCOMPARE(f->lstPhone->currentRow(), -1);
        // A shorter text never leaves the end of the longer one readable.
        QCOMPARE(w->link.textAt(50, 10), QString());
        QCOMPARE(w->link.textAt(90, 10), QStringLiteral("ABC"));
    }

    void timesAndFlags_data()
    {
        QTest::addColumn<QString>("time");
        QTest::addColumn<int>("value");
        QTest::newRow("3.5") << "3.5" << 4;
        QTest::newRow("blank 7") << " 7" << 7;
        QTest::newRow("letter") << "x" << 0;
        QTest::newRow("empty") << "" << 0;
        QTest::newRow("negative") << "-5" << 0xFFFB;
    }

    void timesAndFlags()
    {
        QFETCH(QString, time);
        QFETCH(int, value);
        f->txtTime[1]->setText(time);
        f->chkHold->setChecked(true);
        f->chkPhoneAlarm->setChecked(true);
        f->WriteAllParameters();
        QCOMPARE(writeAt(900).values.value(1), quint16(value));
        QCOMPARE(writeAt(1030).values, QVector<quint16>({3}));
    }

    void limitsThatStillPass()
    {
        f->txtOpen[0]->setText(QString(12, u'o'));     // 6 + 1 + 12 = 19 bytes
        f->txtAnswer[1]->setText(QString(9, u'成'));   // 18 bytes
        f->txtCAnswer[0]->setText(QStringLiteral("a*b")); // replies are never split
        f->txtMiMa->setText(QStringLiteral("123456")); // 6 characters
        f->lstPhone->addItems({"+8613800000000", "", "+1234567890"});
        f->WriteAllParameters();
        QCOMPARE(w->messages, QStringList({msg::writeSucceeded()}));
        QCOMPARE(writeAt(10).count, 10);
        QCOMPARE(writeAt(10).values.last(), quint16(u'o' << 8));
        QCOMPARE(w->link.textAt(730, 10), QStringLiteral("+8613800000000"));
        QCOMPARE(writeAt(750).values, QVector<quint16>({0})); // an empty entry is an empty text
        QCOMPARE(w->link.textAt(770, 10), QStringLiteral("+1234567890")); // no "86" in front of a "+"
    }

    void refusalsWriteNothing_data()
    {
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("message");
        QTest::newRow("password 7") << "txtMiMa" << "1234567" << msg::passwordTooLong();
        QTest::newRow("command 20 bytes") << "txtOpen_0" << QString(13, u'o') << msg::commandTooLong();
        QTest::newRow("reply 10 chinese") << "txtCAnswer_1" << QString(10, u'关') << msg::commandTooLong();
        QTest::newRow("all-off 20 bytes") << "txtAllCmd_1" << QString(13, u'x') << msg::commandTooLong();
        QTest::newRow("alarm text 41 bytes") << "alarm" << QString(41, u'x') << msg::slotTextTooLong();
        QTest::newRow("phone 41") << "phone" << QString(41, u'1') << msg::slotTextTooLong();
        QTest::newRow("emoji in reply") << "txtAnswer_0" << QStringLiteral("好😀") << msg::unsendableCharacter("😀");
        QTest::newRow("thai in alarm") << "alarm" << QStringLiteral("\u0E01") << msg::unsendableCharacter("\u0E01");
        // Characters that show nothing are named by their code points.
        QTest::newRow("NUL and emoji in reply") << "txtAnswer_0" << QStringLiteral("好😀\u0000😀") << msg::unsendableCharacter("😀 U+0000");
        QTest::newRow("zero-width space in alarm") << "alarm" << QStringLiteral("门\u200B") << msg::unsendableCharacter("U+200B");
        QTest::newRow("time 40000") << "txtTime_0" << "40000" << msg::actionTimeOutOfRange();
        QTest::newRow("time -32769") << "txtTime_1" << "-32769" << msg::actionTimeOutOfRange();
        // Reading splits every command at "*" and takes a phone text for a
        // number only by its digits: these would not come back as written.
        QTest::newRow("star in password") << "txtMiMa" << "12*4" << msg::holdsPasswordSeparator(QStringLiteral("指令密码"));
        QTest::newRow("star in on-command 2") << "txtOpen_1" << "泵*开" << msg::holdsPasswordSeparator(QStringLiteral("继电器2开启命令"));
        QTest::newRow("star in off-command 1") << "txtClose_0" << "*" << msg::holdsPasswordSeparator(QStringLiteral("继电器1关闭命令"));
        QTest::newRow("star in all-off") << "txtAllCmd_1" << "all*off" << msg::holdsPasswordSeparator(QStringLiteral("全关命令"));
        QTest::newRow("phone with a blank") << "phone" << "138 0013" << msg::phoneNotANumber(2, "138 0013");
        QTest::newRow("phone plus alone") << "phone" << "+" << msg::phoneNotANumber(2, "+");
        QTest::newRow("phone plus inside") << "phone" << "86+10" << msg::phoneNotANumber(2, "86+10");
        QTest::newRow("phone full-width digits") << "phone" << "１３８" << msg::phoneNotANumber(2, "１３８");
    }

    void refusalsWriteNothing()
    {
        QFETCH(QString, field);
        QFETCH(QString, text);
        QFETCH(QString, message);
        if (field == "alarm")
            f->strAlarmText[3] = text;
        else if (field == "phone")
            f->lstPhone->addItem(text);
        else
            f->findChild<QLineEdit *>(field)->setText(text);
        f->ProgressBar1->setValue(37);
        f->WriteAllParameters();
        QCOMPARE(w->messages, QStringList({message}));
        QVERIFY(w->link.calls.isEmpty());
        QCOMPARE(f->ProgressBar1->value(), 37);
        QVERIFY(!f->ProgressBar1->isVisibleTo(f));
    }

    void aTextLongerOnTheDeviceGoesBackWhole_data()
    {
        QTest::addColumn<int>("slot");
        QTest::addColumn<QString>("stored"); // more than the 20 bytes a read fetches
        QTest::addColumn<QString>("box");    // where the window shows it
        QTest::newRow("alarm text") << 810 << QStringLiteral("前门被打开，请立即检查现场安全") << "txtDIAlarm";
        QTest::newRow("relay reply") << 50 << QStringLiteral("Relay one is on now, OK") << "txtAnswer_0";
        QTest::newRow("on-command with password") << 90 << QStringLiteral("4321*switch relay two on") << "txtOpen_1";
        QTest::newRow("all-off command") << 510 << QStringLiteral("739154*ALL RELAYS OFF") << "txtAllCmd_1";
        QTest::newRow("phone number") << 710 << QStringLiteral("0012345678901234567890") << "lstPhone";
        QTest::newRow("ends in half a character") << 830 << QStringLiteral("abc通道二闭合报警了请检查") << "txtDIAlarm";
    }

    void aTextLongerOnTheDeviceGoesBackWhole()
    {
        QFETCH(int, slot);
        QFETCH(QString, stored);
        QFETCH(QString, box);
        const QVector<quint16> regs = slotText(stored);
        std::copy(regs.begin(), regs.end(), w->link.image.begin() + slot);
        f->ToggleConnection();
        f->ToggleConnection();
        if (slot == 830)
            f->cmbDISel->setCurrentIndex(1);
        auto hint = [&]() -> QString {
            if (box == "lstPhone")
                return f->lstPhone->item(0)->toolTip();
            return f->findChild<QWidget *>(box)->toolTip();
        };
        QCOMPARE(hint(), msg::textLongerOnDevice());

        // Unchanged, it goes back as read: the device keeps the rest.
        w->link.calls.clear();
        f->WriteAllParameters();
        QCOMPARE(w->messages.last(), msg::writeSucceeded());
        QCOMPARE(writeAt(slot).values, regs.mid(0, 10));
        QCOMPARE(w->link.textAt(slot, 20), stored);
        QCOMPARE(hint(), msg::textLongerOnDevice());
        if (slot == 90 || slot == 510) { // a command carries the password: editing it edits the command
            const QString password = f->txtMiMa->text();
            f->txtMiMa->setText(password + u'9');
            QCOMPARE(hint(), QString());
            f->txtMiMa->setText(password);
            QCOMPARE(hint(), msg::textLongerOnDevice());
        }

        // Edited, the window's text is what the device gets.
        if (box == "lstPhone")
            f->lstPhone->item(0)->setText(QStringLiteral("110"));
        else if (box == "txtDIAlarm")
            f->txtDIAlarm->setPlainText(QStringLiteral("短"));
        else
            f->findChild<QLineEdit *>(box)->setText(QStringLiteral("短"));
        QCOMPARE(hint(), QString());
        f->WriteAllParameters();
        QCOMPARE(w->messages.last(), msg::writeSucceeded());
        const QString expected = box == "lstPhone" ? QStringLiteral("110")
                                 : slot == 90 || slot == 510 ? f->txtMiMa->text() + QStringLiteral("*短")
                                                            : QStringLiteral("短");
        QCOMPARE(w->link.textAt(slot, 20), expected);
    }

    // What the operator did not edit goes back register for register, also
    // what the window cannot show; an edit changes only the registers it must.
    void anOddDeviceKeepsWhatWasNotEdited()
    {
        w->link.image = deviceimage::oddImage();
        f->ToggleConnection();
        f->ToggleConnection(); // read afresh
        QCOMPARE(f->txtMiMa->text(), QString()); // relay 2's on-command has none
        w->messages.clear();
        f->WriteAllParameters();
        QCOMPARE(w->messages, QStringList({msg::writeSucceeded()}));
        QCOMPARE(deviceimage::differingRegisters(w->link.image, deviceimage::oddImage()), QList<int>());

        f->txtMiMa->setText(QStringLiteral("5678"));
        f->WriteAllParameters();
        // The device's commands carry four passwords; the window says so before they become one.
        QCOMPARE(w->messages, QStringList({msg::writeSucceeded(), msg::commandPasswordsMadeOne(), msg::writeSucceeded()}));
        QCOMPARE(deviceimage::differingRegisters(w->link.image, deviceimage::oddImageWithPassword(QStringLiteral("5678"))),
                 QList<int>());
        // The password back as read: every command goes back with its own prefix
        // again (up to its end; what the longer ones left beyond it stays).
        f->txtMiMa->setText(QString());
        f->WriteAllParameters();
        QCOMPARE(w->messages.mid(3), QStringList({msg::writeSucceeded()}));
        QCOMPARE(deviceimage::fields(w->link.image), deviceimage::fields(deviceimage::oddImage()));
    }

    void checksComeInTheirOrder()
    {
        f->txtMiMa->setText(QStringLiteral("1234567"));
        f->txtOpen[1]->setText(QString(30, u'x'));
        f->WriteAllParameters();
        f->txtMiMa->setText(QString());
        f->txtTime[0]->setText(QStringLiteral("99999"));
        f->txtAnswer[0]->setText(QStringLiteral("😀"));
        f->WriteAllParameters();
        QCOMPARE(w->messages, QStringList({msg::passwordTooLong(), msg::commandTooLong()}));
        QVERIFY(w->link.calls.isEmpty());
    }

    void notConnectedWritesNothing()
    {
        f->ToggleConnection();
        w->link.calls.clear();
        f->WriteAllParameters();
        QCOMPARE(w->messages, QStringList({msg::connectFirst()}));
        QVERIFY(w->link.calls.isEmpty());
    }

    void aFailedWriteStopsTheRun_data()
    {
        QTest::addColumn<int>("failAt");
        QTest::addColumn<int>("writesMade"); // the failing one counted once
        QTest::addColumn<int>("failures");
        const auto place = plannedwrites::placeOf;
        QTest::newRow("text slot") << 110 << place(110) << 3;
        QTest::newRow("phone slot") << 750 << place(750) << 3;
        QTest::newRow("option flags") << 1030 << place(1030) << 3;
        QTest::newRow("text slot, recovered") << 110 << kWrites << 2;
        QTest::newRow("option flags, recovered") << 1030 << kWrites << 2;
    }

    void aFailedWriteStopsTheRun()
    {
        QFETCH(int, failAt);
        QFETCH(int, writesMade);
        QFETCH(int, failures);
        // The writes fail, not the read for the backup before them.
        w->link.onRequest = [&](const FakeLink::Call &c) {
            if (c.kind != FakeLink::Call::Read && !w->link.failTimes.contains(failAt))
                w->link.failTimes[failAt] = failures;
        };
        f->WriteAllParameters();
        const int tries = std::min(failures + 1, LinkSettings::kDefaultAttempts);
        const bool recovered = failures < LinkSettings::kDefaultAttempts;
        const int reads = static_cast<int>(backupReads().size());
        QCOMPARE(w->link.requestTrace().mid(0, reads), backupReads());
        w->link.calls.remove(0, reads);
        const int sent = writesMade + tries - 1; // the failing write as often as it was tried
        QCOMPARE(static_cast<int>(std::count_if(w->link.calls.begin(), w->link.calls.begin() + std::min<int>(sent, w->link.calls.size()),
                                                [&](const FakeLink::Call &c) { return c.start == failAt; })),
                 tries);
        // A write that needed a retry is not taken on its echoes: every
        // register written is read back afterwards, in the full read's shapes.
        QStringList readBack;
        int previous = -1;
        for (int i = 0; recovered && i < sent; ++i) {
            const FakeLink::Call &c = w->link.calls[i];
            if (c.start != std::exchange(previous, c.start))
                for (const regmap::Block &b : regmap::readParts(c.start, c.count))
                    readBack << QStringLiteral("R%1x%2").arg(b.start).arg(b.count);
        }
        if (recovered)
            QCOMPARE(w->link.requestTrace().mid(sent), readBack);
        else // the line doctor's quick look, which only reads, says why
            QVERIFY(std::all_of(w->link.calls.begin() + sent, w->link.calls.end(),
                                [](const FakeLink::Call &c) { return c.kind == FakeLink::Call::Read; }));
        QCOMPARE(w->messages.size(), 1);
        if (recovered)
            QCOMPARE(w->messages[0], msg::writeSucceeded());
        else // what failed, what is on the device, and where the backup is
            QVERIFY2(w->messages[0].startsWith(msg::writeFailed() + u'\n' + msg::writesConfirmed(writesMade - 1, kWrites) + u'\n'
                                               + msg::backupSavedAt(QString()).section(u'\n', 0, 0)),
                     qPrintable(w->messages[0]));
        if (recovered)
            QVERIFY(w->link.image == factory::registerImage());
        else // nothing written after the write that failed
            QCOMPARE(std::find_if(w->link.calls.rbegin(), w->link.calls.rend(),
                                  [](const FakeLink::Call &c) { return c.kind != FakeLink::Call::Read; })
                         ->start,
                     failAt);
        QVERIFY(!f->ProgressBar1->isVisibleTo(f));
    }

    void progressClimbsThenHidesBeforeTheMessage()
    {
        QList<int> values;
        connect(f->ProgressBar1, &QProgressBar::valueChanged, this, [&](int v) { values << v; });
        bool hiddenAtMessage = false;
        w->onMessage = [&](const QString &) { hiddenAtMessage = !f->ProgressBar1->isVisibleTo(f); };
        f->ProgressBar1->setValue(50); // a previous run's value is reset
        values.clear();
        f->WriteAllParameters();
        // From 0, each confirmed write's step as planned, to 100 at the end.
        QList<int> planned{0};
        for (const params::PlannedWrite &p : params::planWrites(params::factorySet()))
            planned += QList<int>(p.progressAfter.begin(), p.progressAfter.end());
        planned << 100;
        QCOMPARE(values, planned);
        QVERIFY(std::is_sorted(values.begin(), values.end()));
        QVERIFY(hiddenAtMessage);
    }
};

QTEST_MAIN(ParameterWriteTest)
#include "test_parameter_write.moc"
