// Start-up: the port and channel lists, then the start-up set.
#include "FormMain.h"

#include "FieldTable.h"
#include "PortResolver.h"
#include "RegisterMap.h"

#include <QComboBox>
#include <QLineEdit>

void FormMain::InitializeWindow()
{
    cmbComSel->clear();
    for (int port = kFirstPort; port <= kLastPort; ++port)
        cmbComSel->addItem(QStringLiteral("COM%1").arg(port));
    cmbComSel->setCurrentIndex(0);
    rememberedPorts = ports::loadRememberedPorts(ports::rememberedPortsPath());
    ListRememberedPorts();
    RefreshPortInfo(true);

    cmbDISel->clear();
    for (int k = 0; k < regmap::kAlarmTexts; ++k) // entry k edits alarm text k
        cmbDISel->addItem(params::field(params::FieldId::AlarmText, k).caption.text());
    ShowParameterSet(params::startUpSet());
    // The box a number is added from offers the factory's.
    txtPhone->setText(params::factorySet().phones.value(0));
}
