// The network ports the window connected to before, offered again in the
// port box after COM1..COM7.
#include "FormMain.h"

#include "NetworkPort.h"
#include "Trace.h"

#include <QComboBox>
#include <QSignalBlocker>

void FormMain::ListRememberedPorts()
{
    // The entry or the text chosen stays as it is.
    const QString chosen = cmbComSel->currentText();
    QSignalBlocker quiet(cmbComSel);
    while (cmbComSel->count() > kPortCount)
        cmbComSel->removeItem(kPortCount);
    for (const QString &name : rememberedPorts.names)
        cmbComSel->addItem(name);
    const int entry = cmbComSel->findText(chosen, Qt::MatchExactly);
    if (entry >= 0)
        cmbComSel->setCurrentIndex(entry);
    else
        cmbComSel->setEditText(chosen);
}

void FormMain::RememberNetworkPort(const QString &name)
{
    if (!ports::looksLikeNetworkPort(name))
        return;
    const QString path = ports::rememberedPortsPath();
    rememberedPorts = ports::loadRememberedPorts(path);
    // A file that is no such list is left as it is.
    QString error;
    if (rememberedPorts.usable) {
        rememberedPorts.names = ports::rememberPort(rememberedPorts.names, name);
        if (!ports::saveRememberedPorts(path, rememberedPorts.names, &error) && trace::enabledByEnvironment())
            trace::line(QString(), "PORT", QStringLiteral("%1 not saved: %2").arg(path, error));
    } else if (trace::enabledByEnvironment()) {
        trace::line(QString(), "PORT", QStringLiteral("%1 ignored and left as it is: %2").arg(path, rememberedPorts.problem));
    }
    ListRememberedPorts();
}
