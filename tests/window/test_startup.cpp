// The window as it opens: controls, captions, places and start-up values.
#include "WindowFixture.h"

#include "Language.h"
#include "Messages.h"
#include "ProblemMessages.h"
#include "Twips.h"
#include "WindowTimer.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScopeGuard>
#include <QStyleOptionButton>
#include <QtTest>

namespace {

// Every caption of a window: its title, the frames', buttons' and labels'
// texts, the entries of its lists, the tooltips; the texts the device holds
// (the text boxes) are not captions.
QStringList captionsOf(const FormMain &f)
{
    QStringList out{f.windowTitle()};
    for (const QWidget *w : f.findChildren<QWidget *>()) {
        const QString name = w->objectName() + u' ';
        if (const auto *frame = qobject_cast<const QGroupBox *>(w))
            out << name + frame->title();
        else if (const auto *button = qobject_cast<const QAbstractButton *>(w))
            out << name + button->text();
        else if (const auto *label = qobject_cast<const QLabel *>(w))
            out << name + label->text();
        else if (const auto *combo = qobject_cast<const QComboBox *>(w))
            for (int i = 0; i < combo->count(); ++i)
                out << name + combo->itemText(i);
        if (!w->toolTip().isEmpty())
            out << name + w->toolTip();
    }
    return out;
}

QStringList placesOf(const FormMain &f)
{
    QStringList out;
    for (const QWidget *w : f.findChildren<QWidget *>())
        out << w->objectName() + QStringLiteral(" %1,%2 %3x%4").arg(w->x()).arg(w->y()).arg(w->width()).arg(w->height());
    return out;
}

// The captions that do not fit the room their control gives them.
QStringList cutOff(const FormMain &f)
{
    QStringList out;
    for (const QWidget *w : f.findChildren<QWidget *>()) {
        const auto *label = qobject_cast<const QLabel *>(w);
        const auto *button = qobject_cast<const QAbstractButton *>(w);
        if ((!button && !label) || (label && label->wordWrap()))
            continue;
        int room = w->contentsRect().width();
        if (qobject_cast<const QCheckBox *>(w) || qobject_cast<const QRadioButton *>(w)) {
            QStyleOptionButton option;
            option.initFrom(w);
            const bool check = qobject_cast<const QCheckBox *>(w);
            room = w->style()->subElementRect(check ? QStyle::SE_CheckBoxContents : QStyle::SE_RadioButtonContents, &option, w).width();
        } else if (button) {
            room -= 2 * w->style()->pixelMetric(QStyle::PM_DefaultFrameWidth);
        }
        if (w->fontMetrics().horizontalAdvance(button ? button->text() : label->text()) > room)
            out << w->objectName();
    }
    return out;
}

} // namespace

class StartupTest : public QObject {
    Q_OBJECT
private slots:
    void showsTheStartUpValues()
    {
        WindowFixture w;
        FormMain &f = *w.form;
        QCOMPARE(f.windowTitle(), QStringLiteral("配置软件V1.5"));
        QCOMPARE(f.cmbComSel->count(), 7);
        QCOMPARE(f.cmbComSel->itemText(6), QStringLiteral("COM7"));
        QCOMPARE(f.cmbComSel->currentText(), QStringLiteral("COM1"));
        QCOMPARE(f.cmdConnect->text(), QStringLiteral("连接"));
        QCOMPARE(f.lblVertion->text(), QStringLiteral("0.0"));
        QCOMPARE(f.cmbDISel->currentText(), QStringLiteral("通道1闭合短信"));
        QCOMPARE(f.txtDIAlarm->toPlainText(), QStringLiteral("通道1闭合报警"));
        QVERIFY(!f.chkHold->isChecked() && !f.chkPhoneAlarm->isChecked());
        for (QRadioButton *mode : f.OptMode)
            QVERIFY(!mode->isChecked());
        QCOMPARE(f.lstPhone->count(), 0);
        QCOMPARE(f.txtPhone->text(), QStringLiteral("15800000000"));
        QCOMPARE(f.txtMiMa->text(), QStringLiteral("739154"));
        QCOMPARE(f.txtAllCmd[0]->text(), QStringLiteral("全开"));
        QCOMPARE(f.txtAllCmd[1]->text(), QStringLiteral("全关"));
        QCOMPARE(f.txtTime[0]->text(), QStringLiteral("0"));
        QCOMPARE(f.txtTime[1]->text(), QStringLiteral("0"));
        const QStringList relay1 = {f.txtOpen[0]->text(), f.txtAnswer[0]->text(), f.txtClose[0]->text(), f.txtCAnswer[0]->text()};
        QCOMPARE(relay1, QStringList({"设备1开", "设备1开启成功", "设备1关", "设备1关闭成功"}));
        const QStringList relay2 = {f.txtOpen[1]->text(), f.txtAnswer[1]->text(), f.txtClose[1]->text(), f.txtCAnswer[1]->text()};
        QCOMPARE(relay2, QStringList({"设备2开", "设备2开启成功", "设备2关", "设备2关闭成功"}));
        for (int k = 4; k < 9; ++k)
            QVERIFY(f.strAlarmText[k].isEmpty());
        QVERIFY(!f.ProgressBar1->isVisibleTo(&f));
        QCOMPARE(f.ProgressBar1->maximum(), 100);
        QVERIFY(!f.bConnected);
        QVERIFY(!f.Timer1->isTicking() && !f.Timer2->isTicking());
        QCOMPARE(f.Timer1->interval(), 0);
        QVERIFY(w.link.calls.isEmpty()); // start-up leaves the port alone
    }

    void captionsOfFramesAndButtons()
    {
        WindowFixture w;
        FormMain &f = *w.form;
        QCOMPARE(f.Frame6->title(), QStringLiteral("串口设置"));
        QCOMPARE(f.Frame8->title(), QStringLiteral("继电器指令设置"));
        QCOMPARE(f.Frame7->title(), QStringLiteral("继电器2"));
        QCOMPARE(f.cmdRelay[1]->text(), QStringLiteral("Q1"));
        QCOMPARE(f.cmdDI[0]->text(), QStringLiteral("I0"));
        QCOMPARE(f.OptMode[2]->text(), QStringLiteral("双向"));
        QCOMPARE(f.Command1->text(), QStringLiteral("恢复出厂"));
        QCOMPARE(f.Label15->text(), QStringLiteral("动作时间："));
        QCOMPARE(f.cmdDI[0]->palette().color(QPalette::Button), FormMain::StateColour(false));
    }

    // The connected window in each catalogue: the Chinese one is the code's
    // own captions in the code's places; in English no caption keeps a
    // Chinese character or is cut off, and a refused file's line names the
    // field in English next to its path.
    void captionsInEachLanguage()
    {
        auto connected = [](QStringList *captions, QStringList *places) {
            WindowFixture w;
            w.connectQuietly();
            *captions = captionsOf(*w.form);
            *places = placesOf(*w.form);
            return cutOff(*w.form);
        };
        QStringList source, sourcePlaces, chinese, chinesePlaces, english, englishPlaces;
        connected(&source, &sourcePlaces);
        QVERIFY(source.contains("cmdConnect 断开") && source.contains("cmbDISel 通道2断开短信"));

        const auto back = qScopeGuard([] { language::install(*QCoreApplication::instance(), language::Language::Chinese); });
        QVERIFY(language::install(*QCoreApplication::instance(), language::Language::Chinese));
        QCOMPARE(connected(&chinese, &chinesePlaces), QStringList());
        QCOMPARE(chinese, source);
        QCOMPARE(chinesePlaces, sourcePlaces);

        QVERIFY(language::install(*QCoreApplication::instance(), language::Language::English));
        QCOMPARE(connected(&english, &englishPlaces), QStringList());
        static const QRegularExpression han(QStringLiteral("\\p{Han}"));
        QCOMPARE(english.filter(han), QStringList());
        QCOMPARE(english.size(), source.size());
        QVERIFY(english.contains("cmdConnect Disconnect"));
        QCOMPARE(fileProblemLines({{params::Problem::CommandTooLong, "parameters.relays[1].on", "x"}}),
                 QStringLiteral("Relay 2 on command (parameters.relays[1].on): A command must be shorter than 20 bytes!"));
    }

    void placesAreTwipsInsideTheirContainer()
    {
        WindowFixture w;
        FormMain &f = *w.form;
        const double dpi = f.logicalDpiX();
        QCOMPARE(f.size(), QSize(twipsToPixels(8430, dpi), twipsToPixels(7575, dpi)));
        QCOMPARE(f.cmdConnect->parentWidget(), f.Frame6);
        QCOMPARE(f.cmdConnect->geometry(), twipsRect(1440, 240, 735, 375, dpi));
        QCOMPARE(f.cmdRelay[1]->geometry(), twipsRect(480, 600, 375, 375, dpi));
        QCOMPARE(f.txtTime[1]->parentWidget(), f.Frame7);
        QCOMPARE(f.txtTime[1]->geometry(), twipsRect(120, 2280, 1575, 375, dpi));
        QCOMPARE(f.Frame1->parentWidget(), f.Frame4);
        QCOMPARE(f.OptMode[1]->geometry(), twipsRect(1080, 240, 735, 255, dpi));
        QCOMPARE(f.ProgressBar1->geometry(), twipsRect(840, 3240, 6735, 375, dpi));
        QCOMPARE(f.cmdSheet->geometry(), twipsRect(7320, 5760, 975, 375, dpi));
        // The window's own controls lie inside it, clear of each other; only
        // the progress bar overlaps the top edge of Frame8.
        const QList<QWidget *> own = f.findChildren<QWidget *>(QString(), Qt::FindDirectChildrenOnly);
        for (QWidget *a : own) {
            QVERIFY2(f.rect().contains(a->geometry()), qPrintable(a->objectName()));
            for (QWidget *b : own)
                if (a != b && a != f.ProgressBar1 && b != f.ProgressBar1)
                    QVERIFY2(!a->geometry().intersects(b->geometry()), qPrintable(a->objectName() + u' ' + b->objectName()));
        }
        QCOMPARE(twipsToPixels(15, 96), 1);
        QCOMPARE(twipsToPixels(8430, 96), 562);
    }

    void eachChannelEntryShowsItsText()
    {
        WindowFixture w;
        const QStringList expected = {"通道1闭合报警", "通道2闭合报警", "通道1断开报警", "通道2断开报警"};
        for (int k = 0; k < 4; ++k) {
            w.form->cmbDISel->setCurrentIndex(k);
            QCOMPARE(w.form->txtDIAlarm->toPlainText(), expected[k]);
        }
    }

    void timersTickOnlyWithAnIntervalAndEnabled()
    {
        WindowTimer t;
        int ticks = 0;
        QObject::connect(&t, &WindowTimer::Tick, [&] { ++ticks; });
        t.setEnabled(true);
        QTest::qWait(30);
        QCOMPARE(ticks, 0);
        t.setInterval(5);
        QTRY_VERIFY(ticks > 0);
        t.setEnabled(false);
        QCOMPARE(t.interval(), 5);
        const int before = ticks;
        QTest::qWait(30);
        QCOMPARE(ticks, before);
    }

    void messagesGoThroughOneHook()
    {
        WindowFixture w;
        w.form->ShowMessage(QStringLiteral("x"));
        QCOMPARE(w.messages, QStringList({"x"}));
    }
};

QTEST_MAIN(StartupTest)
#include "test_startup.moc"
