// What the tool reads it writes back unchanged: connect, then "设置" with no
// edit, leaves every register the device holds as it was, on a clean line and
// on one that garbles or repeats a reply, on a serial line or through the
// network; an edit changes only what it must.
// A connect that cannot read everything never lets a write through.
#include "DeviceImage.h"
#include "FormMain.h"
#include "Messages.h"
#include "SimWindow.h"

#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

using deviceimage::customImage;

class RoundTripTest : public QObject {
    Q_OBJECT
private slots:
    void aWriteWithNoEditChangesNoField_data()
    {
        QTest::addColumn<QStringList>("line");
        QTest::addColumn<int>("path");
        QTest::newRow("clean line") << QStringList() << int(SimPath::Pty);
        QTest::newRow("a garbled reply in the burst") << QStringList({"--corrupt-every", "30"}) << int(SimPath::Pty);
        QTest::newRow("a reply sent twice in the burst") << QStringList({"--duplicate-reply", "20"}) << int(SimPath::Pty);
        QTest::newRow("a reply sent twice during the write") << QStringList({"--duplicate-reply", "50"}) << int(SimPath::Pty);
        QTest::newRow("RTU over TCP, a reply sent twice") << QStringList({"--duplicate-reply", "20"}) << int(SimPath::SimTcp);
        QTest::newRow("ser2net RFC 2217, a garbled reply") << QStringList({"--corrupt-every", "30"}) << int(SimPath::Ser2netRfc2217);
    }

    void aWriteWithNoEditChangesNoField()
    {
        QFETCH(QStringList, line);
        QFETCH(int, path);
        QTemporaryDir dir;
        const std::vector<quint16> before = deviceimage::oddImage();
        QVERIFY(deviceimage::save(dir.filePath("odd.json"), before));
        SimWindow r(QStringList({"--baud", "9600", "--image", dir.filePath("odd.json")}) + line, SimPath(path));
        QVERIFY(r.start());
        QVERIFY(r.connect());
        r.form->cmdRelayWrite->click();
        QCOMPARE(r.messages, QStringList({msg::writeSucceeded()}));
        // Register for register, what the window cannot show included.
        QCOMPARE(deviceimage::differingRegisters(r.sim.dumpImage(), before), QList<int>());
    }

    void aNewPasswordChangesTheSixCommandsOnly()
    {
        QTemporaryDir dir;
        QVERIFY(deviceimage::save(dir.filePath("odd.json"), deviceimage::oddImage()));
        SimWindow r({"--image", dir.filePath("odd.json")});
        QVERIFY(r.start());
        QVERIFY(r.connect());
        r.form->txtMiMa->setText(QStringLiteral("5678"));
        r.form->cmdRelayWrite->click();
        QCOMPARE(r.messages, QStringList({msg::commandPasswordsMadeOne(), msg::writeSucceeded()}));
        const std::vector<quint16> after = r.sim.dumpImage();
        QCOMPARE(deviceimage::differingRegisters(after, deviceimage::oddImageWithPassword(QStringLiteral("5678"))),
                 QList<int>());
        // Each of the six command slots changed, and no register outside them.
        QList<int> changedSlots;
        for (int a : deviceimage::differingRegisters(after, deviceimage::oddImage()))
            if (!changedSlots.contains(a - (a - 10) % 20))
                changedSlots << a - (a - 10) % 20;
        QCOMPARE(changedSlots, QList<int>({10, 30, 90, 110, 490, 510}));
    }

    void aConfigurationFileCarriesItToTheNextDevice()
    {
        QTemporaryDir dir;
        const QString file = dir.filePath("site.json");
        FormMain::setFileDialogHook([&](FormMain::FileDialog, const QString &) { return file; });
        SimWindow first;
        QVERIFY(first.start());
        QVERIFY(first.connect());
        editEveryField(*first.form);
        first.form->cmdRelayWrite->click();
        first.form->cmdExport->click();
        QCOMPARE(first.messages, QStringList({msg::writeSucceeded(), msg::configExported(file)}));

        SimWindow next;
        QVERIFY(next.start());
        QVERIFY(next.connect());
        next.form->cmdImport->click();
        next.form->cmdRelayWrite->click();
        FormMain::setFileDialogHook({});
        QCOMPARE(next.messages, QStringList({msg::configImported(), msg::writeSucceeded()}));
        QCOMPARE(next.sim.dumpImage(), first.sim.dumpImage());
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
        QCOMPARE(r.messages.size(), 1);
        QVERIFY2(r.messages[0].startsWith(msg::readFailedBecause(msg::verdictNothingAt("9600 8N1") + msg::adviceNoAnswer())),
                 qPrintable(r.messages[0]));
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
