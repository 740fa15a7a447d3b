// The four channel alarm texts share one text box; the chosen entry of
// cmbDISel decides which slot of strAlarmText it shows and edits.
#include "FormMain.h"

#include <QComboBox>
#include <QPlainTextEdit>

void FormMain::ShowChannelAlarmText()
{
    // With no entry chosen the text box keeps what it shows.
    const int k = ChosenEntry(cmbDISel);
    if (k < 0 || k >= static_cast<int>(strAlarmText.size()))
        return;
    txtDIAlarm->setPlainText(strAlarmText[k]);
}

void FormMain::StoreChannelAlarmText()
{
    // With no entry chosen the edit stays in the text box only.
    const int k = ChosenEntry(cmbDISel);
    if (k < 0 || k >= static_cast<int>(strAlarmText.size()))
        return;
    strAlarmText[k] = txtDIAlarm->toPlainText();
}
