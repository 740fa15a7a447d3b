#include "FormMain.h"

#include "ParameterSet.h"

void FormMain::RestoreFactoryDefaults()
{
    // The mode, the options and the all-on and all-off commands are no part
    // of the factory configuration: they are written as they stand.
    params::ParameterSet set = CollectParameterSet();
    params::applyFactoryTable(set);
    ShowParameterSet(set);
    WriteAllParameters();
}
