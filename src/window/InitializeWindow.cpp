// Start-up: the port and channel lists and the default texts.
#include "FormMain.h"

#include "FactoryDefaults.h"
#include "FieldTable.h"
#include "PortResolver.h"
#include "RegisterMap.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPlainTextEdit>

void FormMain::InitializeWindow()
{
    cmbComSel->clear();
    for (int port = kFirstPort; port <= kLastPort; ++port)
        cmbComSel->addItem(QStringLiteral("COM%1").arg(port));
    cmbComSel->setCurrentIndex(0);
    rememberedPorts = ports::loadRememberedPorts(ports::rememberedPortsPath());
    ListRememberedPorts();
    RefreshPortInfo(true);

    for (int k = 0; k < regmap::kAlarmTexts; ++k)
        strAlarmText[k] = factory::channelAlarmText(k);

    cmbDISel->clear();
    for (int k = 0; k < regmap::kAlarmTexts; ++k) // entry k edits alarm text k
        cmbDISel->addItem(params::field(params::FieldId::AlarmText, k).caption.text());
    cmbDISel->setCurrentIndex(0);
    txtDIAlarm->setPlainText(strAlarmText[0]);

    for (int r = 0; r < regmap::kRelayCount; ++r) {
        txtOpen[r]->setText(factory::relayOnCommand(r + 1));
        txtClose[r]->setText(factory::relayOffCommand(r + 1));
        txtAnswer[r]->setText(factory::relayOnReply(r + 1));
        txtCAnswer[r]->setText(factory::relayOffReply(r + 1));
    }
}
