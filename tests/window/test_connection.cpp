// Connecting, the start-up read burst, the status poll, the link time-out and
// switching a relay by hand, against an in-process device.
#include "WindowFixture.h"

#include "SystemPorts.h"

#include "Messages.h"
#include "RegisterText.h"
#include "WindowTimer.h"

#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QtTest>

namespace {

QStringList burst()
{
    return QStringList({"R0x7"}) + fullReadTrace();
}

void putText(FakeLink &link, int slot, const QString &text)
{
    const QVector<quint16> regs = regtext::slotRegisters(regtext::encodeGbk(text).bytes, 40);
    std::copy(regs.begin(), regs.end(), link.image.begin() + slot);
}

} // namespace

class ConnectionTest : public QObject {
    Q_OBJECT
private slots:
    void connectProbesThenReadsEveryBlockInOrder()
    {
        WindowFixture w;
        putText(w.link, 810, QStringLiteral("一号闭合"));
        putText(w.link, 10, QStringLiteral("开一"));
        // The chosen channel's text is shown between the alarm texts and the
        // relay texts, which the block at 10 begins.
        QString shownWhenRelayTextsAreRead;
        QObject::connect(w.form->txtOpen[0], &QLineEdit::textChanged,
                         [&] { shownWhenRelayTextsAreRead = w.form->txtDIAlarm->toPlainText(); });
        w.form->cmdConnect->click();

        QCOMPARE(w.link.requestTrace(), QStringList({"open1", "R0x7"}) + burst());
        QCOMPARE(burst().size(), 45); // plus the probe: 46 reads
        QCOMPARE(w.messages, QStringList({msg::readSucceeded()}));
        QCOMPARE(shownWhenRelayTextsAreRead, QStringLiteral("一号闭合"));
        QVERIFY(w.form->bConnected);
        QCOMPARE(w.form->cmdConnect->text(), QStringLiteral("断开"));
        QVERIFY(w.form->Timer1->isTicking());
        QCOMPARE(w.form->Timer1->interval(), 1000);
        QCOMPARE(w.form->lstPhone->count(), 1);
        QCOMPARE(w.form->lstPhone->item(0)->text(), QStringLiteral("15800000000"));
    }

    void theChosenPortIsOpened()
    {
        WindowFixture w;
        w.form->cmbComSel->setCurrentIndex(6);
        w.form->ToggleConnection();
        QCOMPARE(w.link.calls.first().port, QStringLiteral("COM7"));
        w.form->ToggleConnection();
        w.form->cmbComSel->setEditText(QStringLiteral("COM3")); // typed, but one of the entries
        w.form->ToggleConnection();
        QCOMPARE(w.link.callsOf(FakeLink::Call::Open).last().port, QStringLiteral("COM3"));
        w.form->ToggleConnection();
        // No entry: the link opens the device the text names on this platform.
        const bool windows = ports::thisPlatform() == ports::Platform::Windows;
        const QString typed = windows ? QStringLiteral("COM12") : QStringLiteral("/dev/ttyUSB1");
        w.form->cmbComSel->setEditText(typed);
        w.form->ToggleConnection();
        QCOMPARE(w.link.callsOf(FakeLink::Call::Open).last().port, typed);
        QCOMPARE(w.link.callsOf(FakeLink::Call::Open).last().device,
                 windows ? QStringLiteral("\\\\.\\COM12") : QStringLiteral("/dev/ttyUSB1"));
    }

    void aPortThatWillNotOpenIsReported()
    {
        WindowFixture w;
        w.link.openSucceeds = false;
        w.form->ToggleConnection();
        QCOMPARE(w.messages, QStringList({msg::portOpenFailed()}));
        QCOMPARE(w.link.requestTrace(), QStringList({"open1"}));
        QCOMPARE(w.form->cmdConnect->text(), QStringLiteral("连接"));
        QVERIFY(!w.form->bConnected);
        QVERIFY(!w.form->Timer1->isTicking());

        // A typed name that is no entry and names no device reaches the link
        // with no device; a link that cannot say why it failed gives the
        // first line alone.
        WindowFixture typed;
        typed.form->cmbComSel->setEditText(QStringLiteral("COM0")); // no device on either platform
        typed.form->ToggleConnection();
        QCOMPARE(typed.link.calls.first().port, QStringLiteral("COM0"));
        QCOMPARE(typed.link.calls.first().device, QString());
        QCOMPARE(typed.messages, QStringList({msg::portOpenFailed()}));
    }

    // The line doctor's quick look says why, with reads only, and offers the
    // full scan; then the port closes.
    void anUnansweredProbeClosesThePortAndChangesNothingElse()
    {
        WindowFixture w;
        w.link.silent = true;
        w.form->ToggleConnection();
        QCOMPARE(w.messages.size(), 1);
        QVERIFY2(w.messages[0].startsWith(msg::connectFailedBecause(msg::verdictNothingAt("9600 8N1") + msg::adviceNoAnswer()))
                     && w.messages[0].endsWith(u'\n' + msg::scanOffered()),
                 qPrintable(w.messages[0]));
        QCOMPARE(w.link.requestTrace(), QStringList({"open1", "R0x7", "R0x7", "R0x7", "R0x7", "close"}));
        QVERIFY(!w.form->bConnected);
        QCOMPARE(w.form->cmdConnect->text(), QStringLiteral("连接"));
        QVERIFY(!w.form->Timer1->isTicking());
    }

    void connectDisconnectConnect()
    {
        WindowFixture w;
        QStringList captions = {w.form->cmdConnect->text()};
        w.form->ToggleConnection();
        captions << w.form->cmdConnect->text();
        w.link.calls.clear();
        w.form->ToggleConnection();
        captions << w.form->cmdConnect->text();
        QCOMPARE(w.link.requestTrace(), QStringList({"close"}));
        QVERIFY(!w.form->Timer1->isTicking());
        QVERIFY(!w.form->bConnected);
        QCOMPARE(w.form->Timer1->interval(), 1000);
        w.link.calls.clear();
        w.form->ToggleConnection();
        captions << w.form->cmdConnect->text();
        QCOMPARE(captions, QStringList({"连接", "断开", "链接", "断开"}));
        QCOMPARE(w.link.requestTrace(), QStringList({"open1", "R0x7"}) + burst());
        QVERIFY(w.form->Timer1->isTicking());
    }

    void aFullReadIsAllOrNothing_data()
    {
        QTest::addColumn<int>("start");    // the read that goes unanswered
        QTest::addColumn<int>("failures"); // how many times in a row
        QTest::addColumn<bool>("read");    // the connect read everything
        QTest::newRow("recovered on the third try") << 30 << 2 << true;
        QTest::newRow("a text slot fails every try") << 30 << 3 << false;
        QTest::newRow("the status block of the burst") << 0 << 4 << false;
        QTest::newRow("the alarm mode, last of all") << 1050 << 3 << false;
    }

    void aFullReadIsAllOrNothing()
    {
        QFETCH(int, start);
        QFETCH(int, failures);
        QFETCH(bool, read);
        WindowFixture w;
        putText(w.link, 10, QStringLiteral("pw*go"));
        w.link.image[900] = 77;
        // The probe answers; the burst's reads fail as the row says.
        bool armed = false;
        w.link.onRequest = [&](const FakeLink::Call &c) {
            if (!armed && c.kind == FakeLink::Call::Read && c.start == start && w.form->bConnected) {
                armed = true;
                w.link.failTimes[start] = failures;
            }
        };
        w.form->ToggleConnection();

        const QString request = QStringLiteral("R%1x%2").arg(start).arg(start == 0 ? 7 : start == 1050 ? 1 : 10);
        const QStringList trace = w.link.requestTrace().mid(2); // past the probe
        const QStringList pass = burst();
        const qsizetype failedAt = pass.indexOf(request);
        QCOMPARE(trace.mid(0, failedAt), pass.mid(0, failedAt));
        QCOMPARE(trace.mid(failedAt, LinkSettings::kDefaultAttempts), QStringList(LinkSettings::kDefaultAttempts, request));
        QCOMPARE(w.form->bConnected, read);
        if (read) {
            // A failure taints the whole read: every block is read a second
            // time, last to first, and believed only because both reads agree.
            QStringList again = pass;
            std::reverse(again.begin(), again.end());
            QCOMPARE(trace.mid(failedAt + failures), pass.mid(failedAt) + again);
            QCOMPARE(w.messages, QStringList({msg::readSucceeded()}));
            QCOMPARE(w.form->txtTime[0]->text(), QStringLiteral("77"));
            return;
        }
        // Given up: the window is disconnected, as after a link time-out, and
        // shows nothing of the failed read: what it showed before stays.
        QCOMPARE(w.messages, QStringList({msg::readFailed()}));
        QCOMPARE(w.link.requestTrace().last(), QStringLiteral("close"));
        QCOMPARE(w.form->cmdConnect->text(), QStringLiteral("链接"));
        QVERIFY(!w.form->Timer1->isTicking() && !w.form->Timer2->isTicking());
        QCOMPARE(w.form->txtOpen[0]->text(), QStringLiteral("设备1开"));
        QCOMPARE(w.form->txtTime[0]->text(), QStringLiteral("0"));
        // Nothing the window holds may now reach the device.
        w.link.calls.clear();
        w.messages.clear();
        w.form->cmdRelayWrite->click();
        w.form->Command1->click();
        w.form->cmdRelayRead->click();
        QCOMPARE(w.messages, QStringList(3, msg::connectFirst()));
        QVERIFY(w.link.calls.isEmpty());
    }

    // The probe is tried once; the line doctor's reads after it find the
    // device answering again, and say so.
    void theProbeAndThePollTryOnce()
    {
        WindowFixture w;
        w.link.failTimes[0] = 1;
        w.form->ToggleConnection();
        QCOMPARE(w.link.requestTrace(), QStringList({"open1", "R0x7", "R0x7", "R10x10", "R900x8", "R1050x1"})
                                            + QStringList(20, "R0x7") + QStringList{"close"});
        QCOMPARE(w.messages, QStringList({msg::connectFailedBecause(msg::verdictHealthy("V1.5", 20, 20, 1))}));
        w.messages.clear();
        w.connectQuietly();
        w.link.failTimes[0] = 1;
        w.form->PollStatus();
        QCOMPARE(w.link.requestTrace(), QStringList({"R0x7"}));
        QVERIFY(w.form->Timer2->isTicking()); // the time-out decides, not a retry
    }

    void theStatusPollReadsTheStatusBlockEverySecond()
    {
        WindowFixture w;
        w.connectQuietly();
        w.link.image[4] = 2;
        QTRY_VERIFY_WITH_TIMEOUT(!w.link.calls.isEmpty(), 2500);
        QCOMPARE(w.link.requestTrace().first(), QStringLiteral("R0x7"));
        QCOMPARE(w.form->cmdDI[1]->palette().color(QPalette::Button), FormMain::StateColour(true));
        QVERIFY(!w.form->Timer2->isTicking()); // the reply stopped the link time-out
    }

    void aPollDuringTheSuccessMessageRunsNested()
    {
        WindowFixture w;
        w.onMessage = [&](const QString &text) {
            if (text == msg::readSucceeded())
                QTest::qWait(1300); // the operator reads the message; the timer ticks meanwhile
        };
        w.form->ToggleConnection();
        QCOMPARE(w.link.requestTrace().mid(47), QStringList({"R0x7"}));
    }

    void anUnansweredPollEndsTheConnectionAfterTheTimeOut()
    {
        WindowFixture w;
        w.connectQuietly();
        w.link.silent = true;
        w.form->PollStatus();
        QVERIFY(w.form->Timer2->isTicking());
        QCOMPARE(w.form->Timer2->interval(), 3000);
        emit w.form->Timer2->Tick();
        QCOMPARE(w.messages, QStringList({msg::linkTimedOut()}));
        QVERIFY(!w.form->bConnected);
        QCOMPARE(w.form->cmdConnect->text(), QStringLiteral("链接"));
        QVERIFY(!w.form->Timer1->isTicking() && !w.form->Timer2->isTicking());
        QVERIFY(w.link.requestTrace().contains("close"));
    }

    void aDisconnectDisarmsThePendingTimeOut()
    {
        WindowFixture w;
        w.connectQuietly();
        w.link.silent = true;
        w.form->PollStatus();
        w.form->ToggleConnection();
        QVERIFY(!w.form->Timer2->isTicking());
    }

    void aRelayPressPausesThePollUntilTheWriteIsDone()
    {
        WindowFixture w;
        w.connectQuietly();
        int pollsDuringWrite = -1;
        bool pollEnabledDuringWrite = true;
        w.link.onRequest = [&](const FakeLink::Call &c) {
            if (c.kind != FakeLink::Call::WriteSingle)
                return;
            pollEnabledDuringWrite = w.form->Timer1->isEnabled();
            QTest::qWait(1300); // a slow write
            pollsDuringWrite = static_cast<int>(w.link.callsOf(FakeLink::Call::Read).size());
        };
        w.form->cmdRelay[1]->click();
        QVERIFY(!pollEnabledDuringWrite);
        QCOMPARE(pollsDuringWrite, 0);
        QCOMPARE(w.link.requestTrace(), QStringList({"S5=2"}));
        QVERIFY(w.form->Timer1->isTicking()); // WriteDone resumed it
    }

    void relayBitsAndColours()
    {
        WindowFixture w;
        w.connectQuietly();
        FormMain &f = *w.form;
        auto press = [&](qint16 bits, int relay) {
            f.nRelayBits = bits;
            w.link.calls.clear();
            f.ToggleRelay(relay);
            return w.link.calls.value(0).values.value(0);
        };
        QCOMPARE(press(0, 1), quint16(2));
        QCOMPARE(f.cmdRelay[1]->palette().color(QPalette::Button), FormMain::StateColour(true));
        QCOMPARE(press(3, 0), quint16(2));
        QCOMPARE(f.cmdRelay[0]->palette().color(QPalette::Button), FormMain::StateColour(false));
        QCOMPARE(press(0x0103, 0), quint16(2));      // switching off drops the high byte
        QCOMPARE(press(0x0100, 1), quint16(0x0102)); // switching on keeps it
        QCOMPARE(f.nRelayBits, qint16(0x0102));
        // Two presses before any status reply: set, then clear, from the window's own idea.
        QCOMPARE(press(0, 0), quint16(1));
        w.link.calls.clear();
        f.ToggleRelay(0);
        QCOMPARE(w.link.calls.value(0).values.value(0), quint16(0));
        QCOMPARE(FormMain::GetNumTbl(0), quint8(1));
        QCOMPARE(FormMain::GetNumTbl(7), quint8(128));
        QCOMPARE(FormMain::GetNumTbl(8), quint8(0));
    }

    void aRelayPressWhileDisconnectedChangesNothing()
    {
        WindowFixture w;
        w.form->cmdRelay[0]->click();
        QCOMPARE(w.messages, QStringList({msg::connectFirst()}));
        QVERIFY(w.link.calls.isEmpty());
        QCOMPARE(w.form->nRelayBits, qint16(0));
        QCOMPARE(w.form->cmdRelay[0]->palette().color(QPalette::Button), FormMain::StateColour(false));
        QVERIFY(!w.form->Timer1->isEnabled());
    }

    void aWriteDoneAfterDisconnectDoesNotPoll()
    {
        WindowFixture w;
        w.connectQuietly();
        w.form->ToggleConnection();
        emit w.link.WriteDone();
        QVERIFY(!w.form->Timer1->isTicking());
    }

    void withNoChannelChosenTheBurstLeavesTheAlarmTextBoxAlone()
    {
        WindowFixture w;
        putText(w.link, 810, QStringLiteral("设备上的文字"));
        w.form->cmbDISel->setEditText(QStringLiteral("随便"));
        w.form->txtDIAlarm->setPlainText(QStringLiteral("草稿"));
        w.form->ToggleConnection();
        QCOMPARE(w.form->txtDIAlarm->toPlainText(), QStringLiteral("草稿"));
        QCOMPARE(w.form->strAlarmText[0], QStringLiteral("设备上的文字"));
    }
};

QTEST_MAIN(ConnectionTest)
#include "test_connection.moc"
