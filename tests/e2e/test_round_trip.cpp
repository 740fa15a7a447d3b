// What the tool reads it writes back unchanged: connect, then "设置" with no
// edit, leaves every field the device holds as it was, on a clean line and on
// one that garbles or repeats a reply. A connect that cannot read everything
// never lets a write through.
#include "DeviceImage.h"
#include "FactoryDefaults.h"
#include "FormMain.h"
#include "Messages.h"
#include "SimWindow.h"

#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

namespace {

// A controller set up by someone else: nothing here is a start-up value of the window.
std::vector<quint16> customImage()
{
    using deviceimage::putText;
    std::vector<quint16> image = factory::registerImage();
    putText(image, 10, QStringLiteral("4321*开灯"));
    putText(image, 30, QStringLiteral("4321*关灯"));
    putText(image, 50, QStringLiteral("灯已打开"));
    putText(image, 70, QStringLiteral("light off"));
    putText(image, 90, QStringLiteral("4321*pump on"));
    putText(image, 110, QStringLiteral("4321*pump off"));
    putText(image, 130, QStringLiteral("水泵已开"));
    putText(image, 150, QStringLiteral("Q1 off 好"));
    putText(image, 170, QStringLiteral("not a field of the tool"));
    putText(image, 490, QStringLiteral("4321*ALL ON"));
    putText(image, 510, QStringLiteral("4321*全部关闭"));
    putText(image, 710, QStringLiteral("+8613800000000"));
    putText(image, 730, QStringLiteral("8613912345678"));
    putText(image, 750, QStringLiteral("a"));
    putText(image, 770, QStringLiteral("110"));
    putText(image, 790, QStringLiteral("a"));
    putText(image, 810, QStringLiteral("前门被打开，请立即检查现场安全")); // 30 bytes: read only in part
    putText(image, 830, QStringLiteral("Door 2 closed"));
    putText(image, 850, QStringLiteral("一号断开"));
    putText(image, 870, QStringLiteral("ch2 open 警告"));
    image[900] = 25;
    image[901] = 30;
    image[1030] = 3;
    image[1050] = 2; // alarm on opening
    return image;
}

} // namespace

class RoundTripTest : public QObject {
    Q_OBJECT
private slots:
    void aWriteWithNoEditChangesNoField_data()
    {
        QTest::addColumn<QStringList>("line");
        QTest::newRow("clean line") << QStringList();
        QTest::newRow("a garbled reply in the burst") << QStringList({"--corrupt-every", "30"});
        QTest::newRow("a reply sent twice in the burst") << QStringList({"--duplicate-reply", "20"});
        QTest::newRow("a reply sent twice during the write") << QStringList({"--duplicate-reply", "50"});
    }

    void aWriteWithNoEditChangesNoField()
    {
        QFETCH(QStringList, line);
        QTemporaryDir dir;
        const std::vector<quint16> before = customImage();
        QVERIFY(deviceimage::save(dir.filePath("custom.json"), before));
        SimWindow r(QStringList({"--baud", "9600", "--image", dir.filePath("custom.json")}) + line);
        QVERIFY(r.start());
        QVERIFY(r.connect());
        r.form->cmdRelayWrite->click();
        QCOMPARE(r.messages, QStringList({msg::writeSucceeded()}));

        const std::vector<quint16> after = r.sim.dumpImage();
        QCOMPARE(after.size(), before.size());
        const QMap<QString, QString> want = deviceimage::fields(before), got = deviceimage::fields(after);
        for (auto it = want.begin(); it != want.end(); ++it)
            QCOMPARE(got.value(it.key()), it.value());
        QCOMPARE(deviceimage::untouchedRegisters(after), deviceimage::untouchedRegisters(before));
    }

    void aFullReadThatFailsLetsNoWriteThrough_data()
    {
        QTest::addColumn<int>("answered"); // the device falls silent after this many replies
        QTest::newRow("in the phone numbers") << 4;
        QTest::newRow("in the relay texts") << 20;
        QTest::newRow("at the alarm mode") << 45;
    }

    void aFullReadThatFailsLetsNoWriteThrough()
    {
        QFETCH(int, answered);
        QTemporaryDir dir;
        const std::vector<quint16> before = customImage();
        QVERIFY(deviceimage::save(dir.filePath("custom.json"), before));
        SimWindow r({"--image", dir.filePath("custom.json"), "--stop-after", QString::number(answered)});
        QVERIFY(r.start());
        r.form->ToggleConnection();
        QCOMPARE(r.messages, QStringList({msg::readFailed()}));
        QVERIFY(!r.form->bConnected);
        QVERIFY(!r.link.isOpen());
        r.messages.clear();
        r.form->cmdRelayWrite->click();
        r.form->Command1->click();
        QCOMPARE(r.messages, QStringList(2, msg::connectFirst()));
        QCOMPARE(r.sim.dumpImage(), before);
    }
};

QTEST_MAIN(RoundTripTest)
#include "test_round_trip.moc"
