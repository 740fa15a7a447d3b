#include "FormMain.h"

#include "Messages.h"

#include <QListWidget>

void FormMain::DeleteAlarmPhone()
{
    QListWidgetItem *chosen = lstPhone->currentItem();
    if (!chosen || !chosen->isSelected()) {
        ShowMessage(msg::choosePhone());
        return;
    }
    delete lstPhone->takeItem(lstPhone->row(chosen));
    // No entry stays chosen, so a second press cannot delete a neighbour by accident.
    ClearPhoneSelection();
}

void FormMain::ClearPhoneSelection()
{
    lstPhone->setCurrentRow(-1);
    lstPhone->clearSelection();
}
