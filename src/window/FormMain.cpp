#include "FormMain.h"

#include "ModbusLink.h"
#include "Messages.h"
#include "RegisterMap.h"
#include "StateButton.h"
#include "Twips.h"
#include "WindowTimer.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QStyle>

namespace {

// Inner area of the window in twips.
constexpr int kInnerWidth = 8430;
constexpr int kInnerHeight = 7575;

// The port list looks at the system afresh each time it drops down, so that
// an adapter plugged in meanwhile shows.
class PortComboBox : public QComboBox {
public:
    using QComboBox::QComboBox;
    std::function<void()> beforePopup;
    void showPopup() override
    {
        if (beforePopup)
            beforePopup();
        QComboBox::showPopup();
    }
};

template <typename T>
T *make(QWidget *container, const QString &name, const QString &caption = QString())
{
    T *w = new T(container);
    w->setObjectName(name);
    if constexpr (std::is_same_v<T, QGroupBox>)
        w->setTitle(caption);
    else if constexpr (std::is_same_v<T, QLineEdit> || std::is_same_v<T, QLabel> || std::is_base_of_v<QAbstractButton, T>)
        w->setText(caption);
    return w;
}

template <typename Combo = QComboBox>
Combo *makeCombo(QWidget *container, const QString &name)
{
    auto *combo = make<Combo>(container, name);
    combo->setEditable(true);
    combo->setInsertPolicy(QComboBox::NoInsert);
    combo->setCompleter(nullptr); // typed text stays as typed
    // Typing the exact text of an entry chooses that entry.
    QObject::connect(combo, &QComboBox::editTextChanged, combo, [combo](const QString &text) {
        const int i = combo->findText(text, Qt::MatchExactly);
        if (i >= 0 && i != combo->currentIndex())
            combo->setCurrentIndex(i);
    });
    return combo;
}

} // namespace

FormMain::FormMain(ModbusLink *link, QWidget *parent) : QWidget(parent), modbus1(link), device(*link)
{
    setObjectName(QStringLiteral("FormMain"));
    setWindowTitle(msg::windowCaption());
    // Frames carry their caption on the top border line, so the places of
    // their controls, measured from the frame's top edge, come out right.
    setStyleSheet(QStringLiteral("QGroupBox { border: 1px solid palette(mid); margin-top: 0.6em; }"
                                 "QGroupBox::title { subcontrol-origin: margin; left: 6px; padding: 0 2px; }"));
    createControls();
    placeControls();
    wireEvents();
}

FormMain::~FormMain() = default;

void FormMain::createControls()
{
    Frame6 = make<QGroupBox>(this, "Frame6", tr("串口设置"));
    auto *portCombo = makeCombo<PortComboBox>(Frame6, "cmbComSel");
    portCombo->beforePopup = [this] { RefreshPortInfo(true); };
    cmbComSel = portCombo;
    cmdConnect = make<QPushButton>(Frame6, "cmdConnect", tr("连接"));

    Frame16 = make<QGroupBox>(this, "Frame16", tr("固件版本"));
    lblVertion = make<QLabel>(Frame16, "lblVertion", QStringLiteral("0.0"));

    Frame2 = make<QGroupBox>(this, "Frame2", tr("数字量状态"));
    for (int i = 0; i < regmap::kInputCount; ++i) {
        cmdDI[i] = make<StateButton>(Frame2, QStringLiteral("cmdDI_%1").arg(i), QStringLiteral("I%1").arg(i));
        cmdRelay[i] = make<StateButton>(Frame2, QStringLiteral("cmdRelay_%1").arg(i), QStringLiteral("Q%1").arg(i));
        PaintStateButton(cmdDI[i], false);
        PaintStateButton(cmdRelay[i], false);
    }

    // A field's control is tied to its row by the row's path as it is made,
    // and its caption, where it has one, is the row's.
    auto caption = [](const char *path) { return params::fieldAt(QLatin1String(path)).caption.text(); };
    auto label = [](const params::Caption &name) { return tr("%1：").arg(name.text()); };
    auto relayPath = [](int r, const char *key) { return QStringLiteral("parameters.relays[%1].%2").arg(r).arg(QLatin1String(key)); };

    Frame10 = make<QGroupBox>(this, "Frame10", tr("系统选项"));
    chkHold = make<QCheckBox>(Frame10, "chkHold", caption("parameters.powerLossMemory"));
    Tie(QStringLiteral("parameters.powerLossMemory"), chkHold);
    chkPhoneAlarm = make<QCheckBox>(Frame10, "chkPhoneAlarm", caption("parameters.phoneAlarm"));
    Tie(QStringLiteral("parameters.phoneAlarm"), chkPhoneAlarm);

    Frame4 = make<QGroupBox>(this, "Frame4", tr("报警设置"));
    Frame15 = make<QGroupBox>(Frame4, "Frame15", tr("手机号码设置"));
    cmdAddPhone = make<QPushButton>(Frame15, "cmdAddPhone", tr("添加"));
    cmdDelPhone = make<QPushButton>(Frame15, "cmdDelPhone", tr("删除"));
    txtPhone = make<QLineEdit>(Frame15, "txtPhone");
    lstPhone = make<QListWidget>(Frame15, "lstPhone");
    TiePhoneList(QStringLiteral("parameters.phones"));

    Frame1 = make<QGroupBox>(Frame4, "Frame1", tr("短信报警设置"));
    Frame3 = make<QGroupBox>(Frame1, "Frame3", caption("parameters.alarmMode"));
    OptModeGroup = new QButtonGroup(this);
    for (int i = 0; i < regmap::kModeChoices; ++i) {
        OptMode[i] = make<QRadioButton>(Frame3, QStringLiteral("OptMode_%1").arg(i), params::modeChoiceCaption(i));
        OptModeGroup->addButton(OptMode[i], i);
    }
    TieAlarmMode(QStringLiteral("parameters.alarmMode"));
    Label3 = make<QLabel>(Frame1, "Label3", tr("通道选择"));
    cmbDISel = makeCombo(Frame1, "cmbDISel"); // entry k edits alarm text k
    txtDIAlarm = make<QPlainTextEdit>(Frame1, "txtDIAlarm");
    for (int k = 0; k < regmap::kAlarmTexts; ++k)
        TieAlarmText(params::field(params::FieldId::AlarmText, k).path, k);

    Frame8 = make<QGroupBox>(this, "Frame8", tr("继电器指令设置"));
    // One label for each row of the relays' frames: the rows' shorter names.
    auto relayLabel = [&](const char *key) { return label(params::fieldAt(relayPath(0, key)).label); };
    Label14 = make<QLabel>(Frame8, "Label14", relayLabel("on"));
    Label9 = make<QLabel>(Frame8, "Label9", relayLabel("onReply"));
    Label10 = make<QLabel>(Frame8, "Label10", relayLabel("off"));
    Label16 = make<QLabel>(Frame8, "Label16", relayLabel("offReply"));
    Label15 = make<QLabel>(Frame8, "Label15", relayLabel("actionTime"));
    Frame5 = make<QGroupBox>(Frame8, "Frame5", tr("继电器%1").arg(1));
    Frame7 = make<QGroupBox>(Frame8, "Frame7", tr("继电器%1").arg(2));
    for (int r = 0; r < regmap::kRelayCount; ++r) {
        QGroupBox *frame = r == 0 ? Frame5 : Frame7;
        txtOpen[r] = make<QLineEdit>(frame, QStringLiteral("txtOpen_%1").arg(r));
        Tie(relayPath(r, "on"), txtOpen[r]);
        txtAnswer[r] = make<QLineEdit>(frame, QStringLiteral("txtAnswer_%1").arg(r));
        Tie(relayPath(r, "onReply"), txtAnswer[r]);
        txtClose[r] = make<QLineEdit>(frame, QStringLiteral("txtClose_%1").arg(r));
        Tie(relayPath(r, "off"), txtClose[r]);
        txtCAnswer[r] = make<QLineEdit>(frame, QStringLiteral("txtCAnswer_%1").arg(r));
        Tie(relayPath(r, "offReply"), txtCAnswer[r]);
        txtTime[r] = make<QLineEdit>(frame, QStringLiteral("txtTime_%1").arg(r));
        Tie(relayPath(r, "actionTime"), txtTime[r]);
    }
    Label6 = make<QLabel>(Frame8, "Label6", label(params::fieldAt(QStringLiteral("parameters.password")).caption));
    txtMiMa = make<QLineEdit>(Frame8, "txtMiMa");
    Tie(QStringLiteral("parameters.password"), txtMiMa);
    Label2 = make<QLabel>(Frame8, "Label2", label(params::fieldAt(QStringLiteral("parameters.allOn")).caption));
    txtAllCmd[0] = make<QLineEdit>(Frame8, "txtAllCmd_0");
    Tie(QStringLiteral("parameters.allOn"), txtAllCmd[0]);
    Label4 = make<QLabel>(Frame8, "Label4", label(params::fieldAt(QStringLiteral("parameters.allOff")).caption));
    txtAllCmd[1] = make<QLineEdit>(Frame8, "txtAllCmd_1");
    Tie(QStringLiteral("parameters.allOff"), txtAllCmd[1]);

    ProgressBar1 = make<QProgressBar>(this, "ProgressBar1");
    ProgressBar1->setRange(0, 100);
    ProgressBar1->setValue(0);
    ProgressBar1->setTextVisible(false);
    ProgressBar1->setVisible(false);
    cmdRelayWrite = make<QPushButton>(this, "cmdRelayWrite", tr("设置"));
    cmdRelayRead = make<QPushButton>(this, "cmdRelayRead", tr("读取"));
    Command1 = make<QPushButton>(this, "Command1", tr("恢复出厂"));
    cmdExport = make<QPushButton>(this, "cmdExport", tr("导出配置"));
    cmdImport = make<QPushButton>(this, "cmdImport", tr("导入配置"));
    cmdSheet = make<QPushButton>(this, "cmdSheet", tr("交接单"));
    lblPortInfo = make<QLabel>(this, "lblPortInfo");
    lblPortInfo->setWordWrap(true);
    lblPortInfo->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    lblPortInfo->setTextInteractionFlags(Qt::TextSelectableByMouse); // a path to copy

    Timer1 = new WindowTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer2 = new WindowTimer(this);
    Timer2->setObjectName(QStringLiteral("Timer2"));
}

void FormMain::placeControls()
{
    const double dpi = logicalDpiX();
    auto place = [dpi](QWidget *w, int left, int top, int width, int height) {
        w->setGeometry(twipsRect(left, top, width, height, dpi));
    };
    place(Frame6, 240, 240, 2535, 855);
    place(cmbComSel, 240, 240, 975, 300);
    place(cmdConnect, 1440, 240, 735, 375);
    place(Frame16, 240, 1200, 2535, 615);
    place(lblVertion, 360, 240, 1815, 255); // wider than drawn: "V1.10" must fit in any font
    place(Frame2, 240, 1920, 1095, 1215);
    for (int i = 0; i < regmap::kInputCount; ++i) {
        place(cmdDI[i], 120 + 360 * i, 240, 375, 375);
        place(cmdRelay[i], 120 + 360 * i, 600, 375, 375);
    }
    place(Frame10, 1440, 1920, 1335, 1215);
    place(chkHold, 120, 360, 1095, 255);
    place(chkPhoneAlarm, 120, 720, 1095, 255);
    place(Frame4, 2880, 240, 5415, 2895);
    place(Frame15, 120, 240, 2055, 2535);
    place(cmdAddPhone, 120, 360, 615, 375);
    place(cmdDelPhone, 1320, 360, 615, 375);
    place(txtPhone, 120, 840, 1815, 375);
    place(lstPhone, 120, 1320, 1815, 1140);
    place(Frame1, 2280, 240, 3015, 2535);
    place(Frame3, 120, 360, 2775, 615);
    const int modeLeft[regmap::kModeChoices] = {120, 1080, 1920};
    for (int i = 0; i < regmap::kModeChoices; ++i)
        place(OptMode[i], modeLeft[i], 240, 735, 255);
    place(Label3, 240, 1080, 735, 255);
    place(cmbDISel, 1080, 1080, 1815, 300);
    place(txtDIAlarm, 240, 1440, 2655, 975);
    place(Frame8, 240, 3240, 6975, 3495);
    place(Label14, 120, 840, 975, 255);
    place(Label9, 120, 1320, 975, 255);
    place(Label10, 120, 1800, 975, 255);
    place(Label16, 120, 2280, 975, 255);
    place(Label15, 120, 2760, 975, 255);
    place(Frame5, 1080, 360, 1815, 2895);
    place(Frame7, 2880, 360, 1815, 2895);
    for (int r = 0; r < regmap::kRelayCount; ++r) {
        place(txtOpen[r], 120, 360, 1575, 375);
        place(txtAnswer[r], 120, 840, 1575, 375);
        place(txtClose[r], 120, 1320, 1575, 375);
        place(txtCAnswer[r], 120, 1800, 1575, 375);
        place(txtTime[r], 120, 2280, 1575, 375);
    }
    place(Label6, 4800, 480, 1095, 255);
    place(txtMiMa, 4800, 720, 1575, 375);
    place(Label2, 4800, 1320, 975, 255);
    place(txtAllCmd[0], 4800, 1680, 1575, 375);
    place(Label4, 4800, 2280, 975, 255);
    place(txtAllCmd[1], 4800, 2640, 1575, 375);
    place(ProgressBar1, 840, 3240, 6735, 375);
    place(cmdRelayWrite, 7320, 3360, 975, 375);
    place(cmdRelayRead, 7320, 3840, 975, 375);
    place(Command1, 7320, 4320, 975, 375);
    place(cmdExport, 7320, 4800, 975, 375);
    place(cmdImport, 7320, 5280, 975, 375);
    place(cmdSheet, 7320, 5760, 975, 375); // below the buttons, above the port line
    place(lblPortInfo, 240, 6810, 8055, 705); // the strip below Frame8, as wide as the frames above
    ProgressBar1->raise(); // it overlaps the top edge of Frame8 while shown
    FitCaptions();

    setFixedSize(twipsToPixels(kInnerWidth, dpi), twipsToPixels(kInnerHeight, dpi));
    if (const QScreen *screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
}

void FormMain::wireEvents()
{
    connect(cmdConnect, &QPushButton::clicked, this, &FormMain::ToggleConnection);
    connect(cmbComSel, &QComboBox::editTextChanged, this, [this] { RefreshPortInfo(false); });
    connect(Timer1, &WindowTimer::Tick, this, &FormMain::PollStatus);
    connect(Timer2, &WindowTimer::Tick, this, &FormMain::HandleLinkTimeout);
    connect(modbus1, &ModbusLink::ReplyReceived, this, &FormMain::ApplyDeviceReply, Qt::DirectConnection);
    connect(modbus1, &ModbusLink::WriteDone, this, &FormMain::ResumeStatusPoll, Qt::DirectConnection);
    connect(cmdRelayWrite, &QPushButton::clicked, this, &FormMain::WriteAllParameters);
    connect(cmdRelayRead, &QPushButton::clicked, this, &FormMain::ReadRelayCommands);
    for (int i = 0; i < regmap::kRelayCount; ++i)
        connect(cmdRelay[i], &QPushButton::clicked, this, [this, i] { ToggleRelay(i); });
    connect(cmdAddPhone, &QPushButton::clicked, this, &FormMain::AddAlarmPhone);
    connect(cmdDelPhone, &QPushButton::clicked, this, &FormMain::DeleteAlarmPhone);
    connect(cmbDISel, &QComboBox::currentIndexChanged, this, &FormMain::ShowChannelAlarmText);
    // Picking the current entry again after typing over it chooses it again too.
    connect(cmbDISel, &QComboBox::activated, this, &FormMain::ShowChannelAlarmText);
    connect(txtDIAlarm, &QPlainTextEdit::textChanged, this, &FormMain::StoreChannelAlarmText);
    connect(Command1, &QPushButton::clicked, this, &FormMain::RestoreFactoryDefaults);
    connect(cmdExport, &QPushButton::clicked, this, &FormMain::ExportConfiguration);
    connect(cmdImport, &QPushButton::clicked, this, &FormMain::ImportConfiguration);
    connect(cmdSheet, &QPushButton::clicked, this, &FormMain::MakeHandOverSheet);

    // The changes of the shared alarm text box that can make a shown text
    // differ from a longer one on the device (the other boxes' are tied with them).
    connect(txtDIAlarm, &QPlainTextEdit::textChanged, this, [this] { // after the text is stored
        if (const int k = ChosenEntry(cmbDISel); k >= 0)
            RefreshLongTextHint(params::field(params::FieldId::AlarmText, k));
    });
    connect(cmbDISel, &QComboBox::currentTextChanged, this, &FormMain::RefreshLongTextHints);
}

int FormMain::ChosenEntry(const QComboBox *combo)
{
    const int i = combo->currentIndex();
    return (i >= 0 && combo->itemText(i) == combo->currentText()) ? i : -1;
}

void FormMain::SetAlarmMode(int choice)
{
    // The group is exclusive, so "no mode chosen" needs exclusivity lifted.
    OptModeGroup->setExclusive(false);
    for (int i = 0; i < regmap::kModeChoices; ++i)
        OptMode[i]->setChecked(i == choice);
    OptModeGroup->setExclusive(true);
}
