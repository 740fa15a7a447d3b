#pragma once
// The tool's one window. It owns the two timers and every control and talks
// to the device through a link that its creator owns, by way of the device
// session the command line uses too; each operator operation is one of its
// handlers, in a source file of its own beside this one.

#include "DeviceSession.h"
#include "DeviceReading.h"
#include "FieldTable.h"
#include "ParameterSet.h"
#include "RegisterMap.h"

#include "RememberedPorts.h"
#include "SystemPorts.h"

#include <QColor>
#include <QJsonValue>
#include <QString>
#include <QVector>
#include <QWidget>

#include <array>
#include <functional>
#include <map>
#include <optional>
#include <vector>

class QButtonGroup;
class QDateTime;
class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QListWidgetItem;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QRadioButton;
class ModbusLink;
class WindowTimer;

class FormMain : public QWidget {
    Q_OBJECT
public:
    // The window does not own the link; it must outlive the window.
    explicit FormMain(ModbusLink *link, QWidget *parent = nullptr);
    ~FormMain() override;

    // Every message box of the tool goes through here. Tests install a hook
    // that receives the text instead of a modal box.
    void ShowMessage(const QString &text);
    using MessageHook = std::function<void(const QString &)>;
    static void setMessageHook(MessageHook hook);
    // A message box with one more button beside OK: true when the operator
    // pressed it. Tests install a hook that answers; without one, a message
    // hook receives the text and the answer is OK.
    bool ShowMessage(const QString &text, const QString &button);
    using ChoiceHook = std::function<bool(const QString &text, const QString &button)>;
    static void setChoiceHook(ChoiceHook hook);

    // Every file dialog goes through here: the chosen file name, or empty
    // when the operator cancels. Tests install a hook that answers instead.
    enum class FileDialog { Save, Open, SaveSheet };
    QString AskFileName(FileDialog kind, const QString &suggested);
    using FileDialogHook = std::function<QString(FileDialog, const QString &suggested)>;
    static void setFileDialogHook(FileDialogHook hook);

    // Start-up: the port and channel lists, and the start-up set shown.
    void InitializeWindow();

    // Connection and status poll
    void ToggleConnection();
    // Shows in lblPortInfo which device the chosen entry or the typed text is;
    // relist looks at the system's ports and the port map afresh.
    void RefreshPortInfo(bool relist);
    QString PortInfoText() const;
    // The port line for a network port's name: its kind, and once connected the server's address.
    QString NetworkPortInfoText(const QString &name) const;
    // The network ports connected to before, listed after COM1..COM7; a
    // network port just connected to goes first, and into the saved list.
    void ListRememberedPorts();
    void RememberNetworkPort(const QString &name);
    // The open-failure message: its first line, and a second that names the
    // device and the cause when the link knows them.
    QString PortOpenFailureText() const;
    void ReadAllParameters();
    void PollStatus();
    void ResumeStatusPoll();
    void HandleLinkTimeout();

    // Reply handling: the one place where device data enters the window.
    void ApplyDeviceReply(int start, const QVector<quint16> &values, int count);
    // After the last block of a full read has been applied: the blocks as
    // read and the set they gave become the reading the writes send
    // unchanged fields back from.
    void RememberDeviceReading(const params::DeviceReading &reading);
    // When a full read fails or the connection ends.
    void ForgetDeviceReading();

    // Operator operations
    void WriteAllParameters();
    void ReadRelayCommands();
    void ToggleRelay(int i);
    void AddAlarmPhone();
    void DeleteAlarmPhone();
    void ShowChannelAlarmText();
    void StoreChannelAlarmText();
    void RestoreFactoryDefaults();
    // Puts the device back as the backup at path holds it, after a write
    // that stopped part-way.
    void PutBackBackup(const QString &path);
    void ExportConfiguration();
    void ImportConfiguration();
    void MakeHandOverSheet();

    // The set the window shows when it passes the write's checks; else the
    // first problem's message is shown, and nothing.
    std::optional<params::ParameterSet> CheckedParameterSet();
    // The captions of the texts the device holds longer than shown, joined.
    QString TextsShownInPart(const params::ParameterSet &set) const;
    // A file in the documents folder: pattern with the time for %1.
    static QString SuggestedFile(const QString &pattern, const QDateTime &now);

    // The parameter set as the controls hold it now, and the other way round.
    params::ParameterSet CollectParameterSet() const;
    void ShowParameterSet(const params::ParameterSet &set);
    // One field of the set into its control; an alarm text into its slot.
    void ShowField(const params::Field &field, const params::ParameterSet &set);

    // A field's control, tied to its row: the value it holds, in the form the
    // table's put takes, and the other way round; and, for a text, the hint
    // that the device holds the text of the field's slot `entry` longer than
    // shown (an empty hint clears it).
    struct FieldControl {
        std::function<QJsonValue()> value;
        std::function<void(const QJsonValue &)> show;
        std::function<void(int entry, const QString &hint)> hint;
    };

    // Relay and input display
    static quint8 GetNumTbl(int index);
    static QColor StateColour(bool on);
    static void PaintStateButton(QPushButton *button, bool on);

    // The chosen entry of a combo box, or -1 when its text is not one of its entries.
    static int ChosenEntry(const QComboBox *combo);

    // Link time-out armed by each status poll.
    static constexpr int kPollIntervalMs = 1000;
    static constexpr int kLinkTimeoutMs = 3000;
    static constexpr int kProbePauseMs = 300;

    // Controls, by container.
    QGroupBox *Frame6;
    QComboBox *cmbComSel;
    QPushButton *cmdConnect;
    QGroupBox *Frame16;
    QLabel *lblVertion;
    QGroupBox *Frame2;
    std::array<QPushButton *, regmap::kInputCount> cmdDI;
    std::array<QPushButton *, regmap::kRelayCount> cmdRelay;
    QGroupBox *Frame10;
    QCheckBox *chkHold;
    QCheckBox *chkPhoneAlarm;
    QGroupBox *Frame4;
    QGroupBox *Frame15;
    QPushButton *cmdAddPhone;
    QPushButton *cmdDelPhone;
    QLineEdit *txtPhone;
    QListWidget *lstPhone;
    QGroupBox *Frame1;
    QGroupBox *Frame3;
    std::array<QRadioButton *, regmap::kModeChoices> OptMode;
    QButtonGroup *OptModeGroup;
    QLabel *Label3;
    QComboBox *cmbDISel;
    QPlainTextEdit *txtDIAlarm;
    QGroupBox *Frame8;
    QLabel *Label14, *Label9, *Label10, *Label16, *Label15;
    QGroupBox *Frame5;
    QGroupBox *Frame7;
    std::array<QLineEdit *, regmap::kRelayCount> txtOpen;
    std::array<QLineEdit *, regmap::kRelayCount> txtAnswer;
    std::array<QLineEdit *, regmap::kRelayCount> txtClose;
    std::array<QLineEdit *, regmap::kRelayCount> txtCAnswer;
    std::array<QLineEdit *, regmap::kRelayCount> txtTime;
    QLabel *Label6;
    QLineEdit *txtMiMa;
    QLabel *Label2;
    std::array<QLineEdit *, regmap::kAllCommandCount> txtAllCmd;
    QLabel *Label4;
    QProgressBar *ProgressBar1;
    QPushButton *cmdRelayWrite;
    QPushButton *cmdRelayRead;
    QPushButton *Command1;
    QPushButton *cmdExport;
    QPushButton *cmdImport;
    QPushButton *cmdSheet;
    QLabel *lblPortInfo;
    WindowTimer *Timer1;
    WindowTimer *Timer2;
    ModbusLink *modbus1;
    session::DeviceSession device; // everything that talks to the controller, on modbus1
    QString connectedPort;          // the port of the connection, for the backups' names

    // Module state
    bool bConnected = false;
    bool bReplySeen = false;
    std::array<QString, 9> strAlarmText;
    qint16 nInputBits = 0;
    qint16 nRelayBits = 0;
    QString strFirmware; // as the last status block gave it, empty before
    // What the last full read found; nothing before one, or after a failed one.
    std::optional<params::DeviceReading> deviceReading;
    // The set the device holds, against that reading: the one it read, or
    // the one written since; nothing while unknown (a write stopped part-way).
    std::optional<params::ParameterSet> setOnDevice;
    std::optional<ports::PortTable> portTable; // the last listing of the ports
    ports::RememberedPorts rememberedPorts;    // the network ports connected to before

private:
    // Ties each field's control to its row, by the row's path: every tie is
    // made in createControls, as the control is made.
    void Tie(const QString &path, FieldControl control);
    // A line edit holding a text, or a number as typed.
    void Tie(const QString &path, QLineEdit *box);
    void Tie(const QString &path, QCheckBox *box);
    // The controls that need more than that.
    void TiePhoneList(const QString &path);
    void TieAlarmText(const QString &path, int slot); // shown in txtDIAlarm while cmbDISel chooses it
    void TieAlarmMode(const QString &path);
    const FieldControl &ControlOf(const params::Field &field) const;
    // Tells the operator which shown texts are longer on the device: of every
    // field, or of one (the password: of every command, which carries it).
    void RefreshLongTextHints();
    void RefreshLongTextHint(const params::Field &field);
    // Port closed, timers stopped, caption "链接", not connected; the window
    // keeps showing what it had read.
    void EnterDisconnectedState();

    void createControls();
    void placeControls();
    // Widens a control whose caption does not fit its place into the free
    // room beside it; every captioned control at once.
    void FitCaption(QWidget *control);
    void FitCaptions();
    void wireEvents();
    // The shared body of the start-up read burst and the read-back: false when
    // the read failed, after telling the operator.
    bool ReadParameterBlocks(const std::vector<regmap::Block> &blocks);
    // The port the operator chose or typed, as the last listing resolves it.
    PortTarget ChosenPortTarget() const;
    // The line doctor on the open port (LineCheck.cpp): the quick probes, or
    // with scan the full scan too, with a progress dialog whose stop ends it.
    doctor::Diagnosis DiagnoseLine(bool scan);
    // Shows why the line failed: lead (a message with %1 for the cause) with
    // the verdict's words; when the quick probes could not settle it, the box
    // offers the full scan and then shows its verdict. The port stays open.
    void ShowLineVerdict(QString (*lead)(const QString &), const doctor::Diagnosis &quick);
    // Whether a failed exchange is worth the doctor's look: nothing, or
    // nothing to believe, came back; with refusals, the device refused.
    static bool FailedOnTheLine(const session::LinkProblem &problem, bool refusals = false);
    // After a connect whose read needed this many departures from one reply
    // per request or more, the doctor's quick look says what troubles the line.
    static constexpr quint64 kTroubledDepartures = 5;
    void SetAlarmMode(int choice);
    void ClearPhoneSelection();

    std::map<QString, FieldControl> m_fieldControls; // by the row's path
};
