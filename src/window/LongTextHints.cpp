// Texts the device holds longer than the 20 bytes a read fetches: the box
// that shows one says so, for as long as it still shows it unchanged.
#include "FormMain.h"

#include "Messages.h"

#include <QListWidget>

void FormMain::RefreshLongTextHints()
{
    for (const SlotText &t : ComposeSlotTexts()) {
        const QString hint = t.keptRegisters ? msg::textLongerOnDevice() : QString();
        if (t.control && t.control->toolTip() != hint)
            t.control->setToolTip(hint);
        if (t.item && t.item->toolTip() != hint)
            t.item->setToolTip(hint);
    }
}
