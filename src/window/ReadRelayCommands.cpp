#include "FormMain.h"

#include "BusyCursor.h"
#include "Messages.h"
#include "RegisterMap.h"

void FormMain::ReadRelayCommands()
{
    if (!bConnected) {
        ShowMessage(msg::connectFirst());
        return;
    }
    BusyCursor busy;
    if (ReadParameterBlocks(regmap::fullReadBlocks()))
        ShowMessage(msg::relayCommandsRead());
}
