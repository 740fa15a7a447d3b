#include "FormMain.h"

#include "Messages.h"
#include "RegisterMap.h"

#include <QLineEdit>
#include <QListWidget>

void FormMain::AddAlarmPhone()
{
    if (lstPhone->count() >= regmap::kPhoneSlots) {
        ShowMessage(msg::phoneListFull());
        return;
    }
    // Taken exactly as typed: the device decides what it dials.
    lstPhone->addItem(txtPhone->text());
}
