// Each read reply, decoded by its start address into the window.
#include "WindowFixture.h"

#include "Messages.h"
#include "RegisterText.h"
#include "WindowTimer.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QtTest>

namespace {

QVector<quint16> textBlock(const QString &text)
{
    QVector<quint16> regs = regtext::bytesToRegisters(regtext::encodeGbk(text).bytes.left(20));
    regs.resize(10);
    return regs;
}

QVector<quint16> rawBlock(const QByteArray &bytes)
{
    QVector<quint16> regs = regtext::bytesToRegisters(bytes);
    regs.resize(10);
    return regs;
}


} // namespace

class ReplyHandlingTest : public QObject {
    Q_OBJECT

    WindowFixture *w = nullptr;
    FormMain *f = nullptr;

    void reply(int start, const QVector<quint16> &values) { f->ApplyDeviceReply(start, values, static_cast<int>(values.size())); }
    QColor colour(QPushButton *b) const { return b->palette().color(QPalette::Button); }
    int chosenMode() const
    {
        for (int i = 0; i < 3; ++i)
            if (f->OptMode[i]->isChecked())
                return i;
        return -1;
    }

private slots:
    void init()
    {
        w = new WindowFixture;
        f = w->form.get();
    }
    void cleanup() { delete w; }

    void statusBlockPaintsStateAndVersion()
    {
        reply(0, {0, 0, 0, 0, 1, 2, 0x001A});
        QVERIFY(f->bReplySeen);
        QCOMPARE(colour(f->cmdDI[0]), FormMain::StateColour(true));
        QCOMPARE(colour(f->cmdDI[1]), FormMain::StateColour(false));
        QCOMPARE(colour(f->cmdRelay[0]), FormMain::StateColour(false));
        QCOMPARE(colour(f->cmdRelay[1]), FormMain::StateColour(true));
        QCOMPARE(FormMain::StateColour(true), QColor(0x00, 0xFF, 0x00));
        QCOMPARE(f->lblVertion->text(), QStringLiteral("V1.10"));
        reply(0, {0, 0, 0, 0, 2, 0x0101, 0x0015});
        QCOMPARE(colour(f->cmdDI[1]), FormMain::StateColour(true));
        QCOMPARE(colour(f->cmdRelay[0]), FormMain::StateColour(true));
        QCOMPARE(f->nRelayBits, qint16(0x0101));
        QCOMPARE(f->lblVertion->text(), QStringLiteral("V1.5"));
    }

    void onCommandsCarryThePassword()
    {
        reply(10, textBlock(QStringLiteral("123456*设备1开")));
        QCOMPARE(f->txtOpen[0]->text(), QStringLiteral("设备1开"));
        QCOMPARE(f->txtMiMa->text(), QStringLiteral("123456"));
        reply(30, textBlock(QStringLiteral("999*关")));
        QCOMPARE(f->txtClose[0]->text(), QStringLiteral("关"));
        QCOMPARE(f->txtMiMa->text(), QStringLiteral("123456")); // off-commands never touch it
        reply(90, textBlock(QStringLiteral("open2")));
        QCOMPARE(f->txtOpen[1]->text(), QStringLiteral("open2"));
        QCOMPARE(f->txtMiMa->text(), QString()); // relay 2 without "*" decides: no password
        reply(90, textBlock(QStringLiteral("pw*")));
        QCOMPARE(f->txtOpen[1]->text(), QString());
        reply(130, textBlock(QStringLiteral("设备2开启成功")));
        reply(150, textBlock(QStringLiteral("off ok")));
        QCOMPARE(f->txtAnswer[1]->text(), QStringLiteral("设备2开启成功"));
        QCOMPARE(f->txtCAnswer[1]->text(), QStringLiteral("off ok"));
        // Twenty bytes with no end in the block read whole.
        reply(50, textBlock(QStringLiteral("一二三四五六七八九十")));
        QCOMPARE(f->txtAnswer[0]->text(), QStringLiteral("一二三四五六七八九十"));
    }

    void allOnAndAllOffCommandsAreReadBack()
    {
        f->txtMiMa->setText(QStringLiteral("739154"));
        reply(490, textBlock(QStringLiteral("4321*ALL ON")));
        reply(510, textBlock(QStringLiteral("全部关闭")));
        QCOMPARE(f->txtAllCmd[0]->text(), QStringLiteral("ALL ON"));
        QCOMPARE(f->txtAllCmd[1]->text(), QStringLiteral("全部关闭"));
        QCOMPARE(f->txtMiMa->text(), QStringLiteral("739154")); // only the switch-on commands carry it in
        reply(490, rawBlock(QByteArray(20, '\0'))); // a device without the command keeps the window's
        QCOMPARE(f->txtAllCmd[0]->text(), QStringLiteral("ALL ON"));
    }

    void alarmTextsGoToTheTableNotTheTextBox()
    {
        reply(850, textBlock(QStringLiteral("一号断开")));
        QCOMPARE(f->strAlarmText[2], QStringLiteral("一号断开"));
        QCOMPARE(f->txtDIAlarm->toPlainText(), QStringLiteral("通道1闭合报警"));
    }

    void phoneSlotsRebuildTheList()
    {
        f->lstPhone->addItem(QStringLiteral("old"));
        reply(710, textBlock(QStringLiteral("8615800000000")));
        reply(730, textBlock(QStringLiteral("a")));
        reply(750, textBlock(QStringLiteral("800123")));
        reply(770, textBlock(QStringLiteral("8")));
        reply(790, textBlock(QStringLiteral("13912345678")));
        QCOMPARE(listEntries(f->lstPhone), QStringList({"15800000000", "800123", "8", "13912345678"}));
        reply(710, rawBlock(QByteArray(20, '\0')));
        reply(730, textBlock(QStringLiteral("+8613912345678")));
        reply(750, textBlock(QStringLiteral("+")));
        reply(770, textBlock(QStringLiteral("+86 139")));
        QCOMPARE(listEntries(f->lstPhone), QStringList({"+8613912345678"}));
    }

    void timesOptionsAndMode()
    {
        reply(900, {0xFFFF, 300, 9, 9, 9, 9, 9, 9});
        QCOMPARE(f->txtTime[0]->text(), QStringLiteral("-1"));
        QCOMPARE(f->txtTime[1]->text(), QStringLiteral("300"));
        reply(1030, {3});
        QVERIFY(f->chkHold->isChecked() && f->chkPhoneAlarm->isChecked());
        reply(1030, {2});
        QVERIFY(!f->chkHold->isChecked() && f->chkPhoneAlarm->isChecked());
        for (auto [value, mode] : {std::pair{4, 2}, {3, 1}, {1, 0}, {0, -1}, {7, 2}}) {
            reply(1050, {static_cast<quint16>(value)});
            QCOMPARE(chosenMode(), mode);
        }
        QCOMPARE(w->messages, QStringList(5, msg::readSucceeded()));
    }

    void otherBlocksOnlyStopTheTimeOut()
    {
        f->Timer2->setInterval(3000);
        f->Timer2->setEnabled(true);
        const QString before = f->txtOpen[0]->text();
        reply(170, textBlock(QStringLiteral("x*y")));
        reply(490, textBlock(QStringLiteral("pw*全开")));
        QVERIFY(!f->Timer2->isEnabled());
        QCOMPARE(f->txtOpen[0]->text(), before);
        QCOMPARE(f->txtAllCmd[0]->text(), QStringLiteral("全开"));
        QCOMPARE(f->txtMiMa->text(), QStringLiteral("739154"));
        QVERIFY(w->messages.isEmpty());
    }

    void shortRepliesLeaveTheWindowAlone()
    {
        reply(0, {0, 0, 0, 0, 3, 3});
        QVERIFY(!f->bReplySeen);
        QCOMPARE(f->lblVertion->text(), QStringLiteral("0.0"));
        reply(900, {5});
        QCOMPARE(f->txtTime[0]->text(), QStringLiteral("0"));
        reply(1030, {});
        reply(1050, {});
        QVERIFY(!f->chkHold->isChecked());
        QVERIFY(w->messages.isEmpty());
        // A count larger than the values carried is not trusted either.
        f->ApplyDeviceReply(1050, {}, 1);
        QVERIFY(w->messages.isEmpty());
    }
};

QTEST_MAIN(ReplyHandlingTest)
#include "test_reply_handling.moc"
