// Editing in the window: the phone list, the channel alarm texts, the relay
// command read-back and the factory restore.
#include "WindowFixture.h"

#include "Messages.h"
#include "RegisterText.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QtTest>

class EditingTest : public QObject {
    Q_OBJECT
private slots:
    void phoneListHoldsAtMostFive()
    {
        WindowFixture w;
        FormMain &f = *w.form;
        for (int i = 0; i < 5; ++i) {
            f.txtPhone->setText(QString::number(i));
            f.cmdAddPhone->click();
        }
        f.cmdAddPhone->click();
        QCOMPARE(w.messages, QStringList({msg::phoneListFull()}));
        QCOMPARE(listEntries(f.lstPhone), QStringList({"0", "1", "2", "3", "4"}));
        QCOMPARE(f.txtPhone->text(), QStringLiteral("4"));

        f.lstPhone->setCurrentRow(1);
        f.cmdDelPhone->click();
        QCOMPARE(listEntries(f.lstPhone), QStringList({"0", "2", "3", "4"}));
        f.cmdDelPhone->click(); // nothing chosen any more
        QCOMPARE(w.messages.last(), msg::choosePhone());
        QCOMPARE(f.lstPhone->count(), 4);

        f.txtPhone->setText(QString());
        f.cmdAddPhone->click();
        QCOMPARE(listEntries(f.lstPhone).last(), QString());
    }

    void phoneListTakesDuplicatesAndRefusesDeletingFromEmpty()
    {
        WindowFixture w;
        w.form->cmdAddPhone->click();
        w.form->cmdAddPhone->click();
        QCOMPARE(listEntries(w.form->lstPhone), QStringList({"15800000000", "15800000000"}));
        WindowFixture empty;
        empty.form->cmdDelPhone->click();
        QCOMPARE(empty.messages, QStringList({msg::choosePhone()}));
    }

    void channelTextsAreEditedOneSlotAtATime()
    {
        WindowFixture w;
        FormMain &f = *w.form;
        f.cmbDISel->setCurrentIndex(1);
        f.txtDIAlarm->setPlainText(QStringLiteral("二号\n闭合"));
        QCOMPARE(f.strAlarmText[1], QStringLiteral("二号\n闭合"));
        f.cmbDISel->setCurrentIndex(0);
        QCOMPARE(f.txtDIAlarm->toPlainText(), QStringLiteral("通道1闭合报警"));
        QCOMPARE(f.strAlarmText[0], QStringLiteral("通道1闭合报警"));
        f.cmbDISel->setCurrentIndex(1);
        QCOMPARE(f.txtDIAlarm->toPlainText(), QStringLiteral("二号\n闭合"));
        f.txtDIAlarm->clear();
        QCOMPARE(f.strAlarmText[1], QString());

        // Every keystroke is stored at once.
        f.txtDIAlarm->setFocus();
        QTest::keyClicks(f.txtDIAlarm, QStringLiteral("ab"));
        QCOMPARE(f.strAlarmText[1], QStringLiteral("ab"));

        // With no entry chosen an edit touches no slot, and none is lost.
        const auto before = f.strAlarmText;
        f.cmbDISel->setEditText(QStringLiteral("不是通道"));
        QCOMPARE(FormMain::ChosenEntry(f.cmbDISel), -1);
        f.txtDIAlarm->setPlainText(QStringLiteral("草稿"));
        QVERIFY(f.strAlarmText == before);
        f.cmbDISel->setEditText(QStringLiteral("通道2断开短信")); // typing an entry chooses it
        QCOMPARE(FormMain::ChosenEntry(f.cmbDISel), 3);
        QCOMPARE(f.txtDIAlarm->toPlainText(), QStringLiteral("通道2断开报警"));
    }

    void readBackWhileDisconnectedReadsNothing()
    {
        WindowFixture w;
        w.form->cmdRelayRead->click();
        QCOMPARE(w.messages, QStringList({msg::connectFirst()}));
        QVERIFY(w.link.calls.isEmpty());
    }

    void readBackReadsEveryBlockAndReportsTwice()
    {
        WindowFixture w;
        w.connectQuietly();
        FormMain &f = *w.form;
        f.txtAllCmd[0]->setText(QStringLiteral("都开"));
        f.txtOpen[0]->setText(QStringLiteral("unsent"));
        f.txtMiMa->setText(QStringLiteral("000"));
        f.cmdRelayRead->click();
        QCOMPARE(w.link.requestTrace(), fullReadTrace());
        QCOMPARE(w.messages, QStringList({msg::readSucceeded(), msg::relayCommandsRead()}));
        // The all-on command is read back like every other field.
        QCOMPARE(f.txtAllCmd[0]->text(), QStringLiteral("全开"));
        QCOMPARE(f.txtOpen[0]->text(), QStringLiteral("设备1开"));
        QCOMPARE(f.txtMiMa->text(), QStringLiteral("739154"));
    }

    void aReadBackThatLosesTheDeviceSaysSo()
    {
        WindowFixture w;
        w.connectQuietly();
        w.link.onRequest = [&](const FakeLink::Call &c) { w.link.silent = w.link.silent || c.start == 1050; };
        w.form->ReadRelayCommands();
        QCOMPARE(w.messages.size(), 1);
        QVERIFY2(w.messages[0].startsWith(msg::readFailedBecause(msg::verdictNothingAt("9600 8N1") + msg::adviceNoAnswer())),
                 qPrintable(w.messages[0]));
    }

    void factoryRestoreWhileDisconnected()
    {
        WindowFixture w;
        FormMain &f = *w.form;
        for (const char *n : {"1", "2", "3", "4", "5"})
            f.lstPhone->addItem(n);
        f.cmbDISel->setCurrentIndex(3);
        f.txtDIAlarm->setPlainText(QStringLiteral("edited"));
        f.txtOpen[1]->setText(QStringLiteral("x"));
        f.txtTime[0]->setText(QStringLiteral("9"));
        f.txtMiMa->setText(QString());
        f.txtPhone->setText(QStringLiteral("139"));
        f.chkHold->setChecked(true);
        f.OptMode[1]->setChecked(true);
        f.txtAllCmd[0]->setText(QStringLiteral("ALL"));

        f.Command1->click();
        QCOMPARE(w.messages, QStringList({msg::connectFirst()}));
        QVERIFY(w.link.calls.isEmpty());
        QCOMPARE(listEntries(f.lstPhone), QStringList({"15800000000"}));
        QCOMPARE(f.cmbDISel->currentIndex(), 0);
        QCOMPARE(f.txtDIAlarm->toPlainText(), QStringLiteral("通道1闭合报警"));
        QCOMPARE(f.strAlarmText[3], QStringLiteral("通道2断开报警"));
        QCOMPARE(f.txtOpen[1]->text(), QStringLiteral("设备2开"));
        QCOMPARE(f.txtTime[0]->text(), QStringLiteral("0"));
        QCOMPARE(f.txtMiMa->text(), QStringLiteral("739154"));
        // Outside the factory table nothing changes.
        QCOMPARE(f.txtPhone->text(), QStringLiteral("139"));
        QVERIFY(f.chkHold->isChecked());
        QVERIFY(f.OptMode[1]->isChecked());
        QCOMPARE(f.txtAllCmd[0]->text(), QStringLiteral("ALL"));
    }

    void factoryRestoreWritesTheFactorySetAndKeepsTheRest()
    {
        WindowFixture w;
        w.connectQuietly();
        FormMain &f = *w.form;
        f.txtAnswer[0]->setText(QStringLiteral("changed"));
        f.chkPhoneAlarm->setChecked(true);
        f.OptMode[0]->setChecked(true);
        f.cmbDISel->setEditText(QStringLiteral("typed over"));
        f.Command1->click();
        QCOMPARE(w.messages, QStringList({msg::writeSucceeded()}));
        QCOMPARE(w.link.textAt(50, 10), QStringLiteral("设备1开启成功"));
        QCOMPARE(w.link.image[1030], quint16(2));
        QCOMPARE(w.link.image[1050], quint16(1));
        QCOMPARE(FormMain::ChosenEntry(f.cmbDISel), 0);
        const QStringList first = w.link.requestTrace();
        w.link.calls.clear();
        f.Command1->click(); // a second press writes the same
        QCOMPARE(w.link.requestTrace(), first);
    }
};

QTEST_MAIN(EditingTest)
#include "test_editing.moc"
