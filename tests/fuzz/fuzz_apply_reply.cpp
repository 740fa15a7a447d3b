// Every reply the link delivers goes to ApplyDeviceReply: any start address
// (mostly the real ones), any values, a count that may disagree with them.
#include "FakeLink.h"
#include "FieldCodecs.h"
#include "FormMain.h"
#include "FuzzSupport.h"
#include "RegisterMap.h"
#include "RegisterText.h"
#include "WindowTimer.h"

#include <QApplication>
#include <QStandardPaths>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>

#include <algorithm>
#include <memory>
#include <vector>

namespace {

using regmap::RelayText;

int messageCount = 0;

// One window for the whole run: building a window per input would be most of the time.
struct Window {
    std::unique_ptr<QApplication> app;
    std::unique_ptr<FakeLink> link;
    std::unique_ptr<FormMain> form;

    Window()
    {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        static int argc = 1;
        static char name[] = "fuzz_apply_reply";
        static char *argv[] = {name, nullptr};
        app = std::make_unique<QApplication>(argc, argv);
        QStandardPaths::setTestModeEnabled(true); // the window lists ports: never touch the real port map
        FormMain::setMessageHook([](const QString &) { ++messageCount; });
        link = std::make_unique<FakeLink>();
        form = std::make_unique<FormMain>(link.get());
        form->InitializeWindow();
    }
    ~Window()
    {
        form.reset();
        FormMain::setMessageHook({});
    }
};

FormMain &window()
{
    static Window w;
    return *w.form;
}

std::vector<int> realStarts()
{
    std::vector<int> out{regmap::kStatusBlock.start, regmap::kActionTimes.start, regmap::kOptionFlags, regmap::kAlarmMode};
    for (int i = 0; i < regmap::kReadTextSlots; ++i)
        out.push_back(regmap::readTextSlot(i));
    for (int i = 0; i < regmap::kAllCommandCount; ++i)
        out.push_back(regmap::allCommandSlot(i));
    for (int p = 0; p < regmap::kPhoneSlots; ++p)
        out.push_back(regmap::phoneSlot(p));
    for (int k = 0; k < regmap::kAlarmTexts; ++k)
        out.push_back(regmap::alarmTextSlot(k));
    return out;
}

// Everything a reply may change, to tell which replies changed nothing.
QStringList snapshot(const FormMain &f)
{
    QStringList s;
    for (int i = 0; i < 2; ++i) {
        s << f.txtAllCmd[i]->text() << f.txtOpen[i]->text() << f.txtClose[i]->text() << f.txtAnswer[i]->text() << f.txtCAnswer[i]->text()
          << f.txtTime[i]->text() << f.cmdDI[i]->palette().color(QPalette::Button).name()
          << f.cmdRelay[i]->palette().color(QPalette::Button).name();
    }
    for (const QString &t : f.strAlarmText)
        s << t;
    for (int i = 0; i < f.lstPhone->count(); ++i)
        s << f.lstPhone->item(i)->text();
    for (const QRadioButton *b : f.OptMode)
        s << QString::number(b->isChecked());
    s << f.txtMiMa->text() << f.lblVertion->text() << QString::number(f.chkHold->isChecked())
      << QString::number(f.chkPhoneAlarm->isChecked()) << QString::number(f.bReplySeen) << QString::number(f.nInputBits)
      << QString::number(f.nRelayBits) << QString::number(f.lstPhone->count());
    return s;
}

// The number of values a reply at start needs before it changes anything;
// 0 for a text slot (any count is a text), -1 for an address not handled.
int neededValues(int start)
{
    if (start == regmap::kStatusBlock.start)
        return regmap::kStatusBlock.count;
    if (start == regmap::kActionTimes.start)
        return 2;
    if (start == regmap::kOptionFlags || start == regmap::kAlarmMode)
        return 1;
    return regmap::isTextField(start) ? 0 : -1;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static const std::vector<int> starts = realStarts();
    FormMain &f = window();
    FuzzedDataProvider in(data, size);

    int start = 0;
    switch (in.ConsumeIntegralInRange<int>(0, 3)) {
    case 0:
    case 1: start = starts[in.ConsumeIntegralInRange<size_t>(0, starts.size() - 1)]; break;
    case 2: start = starts[in.ConsumeIntegralInRange<size_t>(0, starts.size() - 1)] + in.ConsumeIntegralInRange<int>(-3, 3); break;
    default: start = in.ConsumeIntegral<int>(); break;
    }
    const int countKind = in.ConsumeIntegralInRange<int>(0, 2);
    const int anyCount = countKind == 1 ? in.ConsumeIntegralInRange<int>(-2, 130) : in.ConsumeIntegral<int>();
    QVector<quint16> values;
    while (in.remaining_bytes() >= 2)
        values.append(in.ConsumeIntegral<quint16>());
    const int count = countKind == 0 ? static_cast<int>(values.size()) : anyCount;
    const int usable = std::min<int>(count, static_cast<int>(values.size()));

    f.Timer2->setInterval(FormMain::kLinkTimeoutMs);
    f.Timer2->setEnabled(true);
    const QStringList before = snapshot(f);
    const int messagesBefore = messageCount;

    f.ApplyDeviceReply(start, values, count);

    FUZZ_CHECK(!f.Timer2->isEnabled()); // any reply proves the link is alive
    // Only the last read of a full read tells the operator it is done.
    FUZZ_CHECK((messageCount != messagesBefore) == (start == regmap::kAlarmMode && usable >= 1));
    FUZZ_CHECK(messageCount - messagesBefore <= 1);

    const int needed = neededValues(start);
    if (needed < 0 || (needed > 0 && usable < needed)) {
        FUZZ_CHECK(snapshot(f) == before); // unknown addresses and short replies change nothing
        return 0;
    }

    const QString text = regtext::decodeTextBlock(values, usable);
    for (int r = 0; r < regmap::kRelayCount; ++r) {
        if (start == regmap::relayTextSlot(r, RelayText::OnCommand)) {
            FUZZ_CHECK(f.txtOpen[r]->text() == fields::splitOnCommand(text).command);
            FUZZ_CHECK(f.txtMiMa->text() == fields::splitOnCommand(text).password);
        }
        if (start == regmap::relayTextSlot(r, RelayText::OffCommand))
            FUZZ_CHECK(f.txtClose[r]->text() == fields::splitOffCommand(text));
        if (start == regmap::relayTextSlot(r, RelayText::OnReply))
            FUZZ_CHECK(f.txtAnswer[r]->text() == text);
        if (start == regmap::relayTextSlot(r, RelayText::OffReply))
            FUZZ_CHECK(f.txtCAnswer[r]->text() == text);
    }
    for (int i = 0; i < regmap::kAllCommandCount; ++i)
        if (start == regmap::allCommandSlot(i) && !text.isEmpty())
            FUZZ_CHECK(f.txtAllCmd[i]->text() == fields::splitOffCommand(text));
    for (int k = 0; k < regmap::kAlarmTexts; ++k)
        if (start == regmap::alarmTextSlot(k))
            FUZZ_CHECK(f.strAlarmText[k] == text);
    if (start == regmap::phoneSlot(0))
        FUZZ_CHECK(f.lstPhone->count() == (fields::phoneEntryFromSlot(text) ? 1 : 0));
    if (start == regmap::kStatusBlock.start) {
        FUZZ_CHECK(f.bReplySeen);
        FUZZ_CHECK(f.nInputBits == static_cast<qint16>(values[regmap::kInputsOffset]));
        FUZZ_CHECK(f.nRelayBits == static_cast<qint16>(values[regmap::kRelaysOffset]));
        FUZZ_CHECK(f.lblVertion->text() == fields::firmwareVersionText(values[regmap::kVersionOffset]));
        for (int i = 0; i < 2; ++i) {
            FUZZ_CHECK(f.cmdDI[i]->palette().color(QPalette::Button) ==
                       FormMain::StateColour(f.nInputBits & FormMain::GetNumTbl(i)));
            FUZZ_CHECK(f.cmdRelay[i]->palette().color(QPalette::Button) ==
                       FormMain::StateColour(f.nRelayBits & FormMain::GetNumTbl(i)));
        }
    }
    if (start == regmap::kActionTimes.start)
        for (int r = 0; r < 2; ++r)
            FUZZ_CHECK(f.txtTime[r]->text().toInt() == static_cast<qint16>(values[r]));
    if (start == regmap::kOptionFlags)
        FUZZ_CHECK(f.chkHold->isChecked() == bool(values[0] & 1) && f.chkPhoneAlarm->isChecked() == bool(values[0] & 2));
    if (start == regmap::kAlarmMode) {
        const int mode = fields::decodeAlarmMode(values[0]);
        for (int i = 0; i < 3; ++i)
            FUZZ_CHECK(f.OptMode[i]->isChecked() == (i == mode));
    }
    return 0;
}
