#include "FormMain.h"

#include "BusyCursor.h"
#include "Messages.h"

void FormMain::ReadRelayCommands()
{
    if (!bConnected) {
        ShowMessage(msg::connectFirst());
        return;
    }
    BusyCursor busy;
    if (ReadParameterBlocks())
        ShowMessage(msg::relayCommandsRead());
}
