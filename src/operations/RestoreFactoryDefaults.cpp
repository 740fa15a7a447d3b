#include "FormMain.h"

#include "FactoryDefaults.h"

#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>

void FormMain::RestoreFactoryDefaults()
{
    // The slots first, then the choice, then the text box: every change of the
    // text box is stored into the slot chosen at that moment.
    for (int k = 0; k < 4; ++k)
        strAlarmText[k] = factory::channelAlarmText(k);
    cmbDISel->setCurrentIndex(0);
    cmbDISel->setEditText(cmbDISel->itemText(0)); // also when the operator had typed over it
    txtDIAlarm->setPlainText(strAlarmText[0]);

    ShowFactoryRelayTexts();
    for (QLineEdit *time : txtTime)
        time->setText(factory::actionTime());
    lstPhone->clear();
    lstPhone->addItem(factory::phoneNumber());
    txtMiMa->setText(factory::password());

    WriteAllParameters();
}
