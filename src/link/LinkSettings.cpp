#include "LinkSettings.h"

#include "Trace.h"

#include <QtGlobal>

LinkSettings LinkSettings::fromEnvironment()
{
    LinkSettings settings;
    const QByteArray baud = qgetenv("ALARMCFG_BAUD");
    if (!baud.isEmpty()) {
        bool ok = false;
        const int rate = baud.toInt(&ok);
        settings.baud = ok && rate > 0 ? rate : 0;
    }
    settings.trace = trace::enabledByEnvironment();
    return settings;
}
