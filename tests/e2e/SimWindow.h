#pragma once
// A window on the real RTU link, talking to alarmcfg-sim mapped to COM1, or
// reached through the network, with every message box caught.

#include "FormMain.h"
#include "Messages.h"
#include "NetworkServers.h"
#include "RtuLink.h"
#include "SimProcess.h"
#include "WindowFixture.h"

#include <QComboBox>
#include <QStandardPaths>

#include <memory>

struct SimWindow {
    SimProcess sim;
    SimBehind behind;
    RtuLink link;
    std::unique_ptr<FormMain> form;
    QStringList messages;

    // path: how the window reaches the simulator; on a pty as COM1, else by
    // the network port typed into the port box.
    explicit SimWindow(const QStringList &simArgs = {}, SimPath path = SimPath::Pty)
        : sim(simArgs + simArgsFor(path)), behind(path, sim), m_path(path)
    {
        QStandardPaths::setTestModeEnabled(true); // the port map of a test user, never the real one
        FormMain::setMessageHook([this](const QString &text) { messages << text; });
        form = std::make_unique<FormMain>(&link);
        form->InitializeWindow();
    }
    ~SimWindow() { FormMain::setMessageHook({}); }

    bool start()
    {
        QString error;
        if (!sim.start())
            return false;
        if (m_path == SimPath::Pty) {
            qputenv("ALARMCFG_COM1", sim.ptyPath().toLocal8Bit());
            return true;
        }
        if (!behind.start(&error)) {
            qWarning("%s", qPrintable(error));
            return false;
        }
        form->cmbComSel->setEditText(behind.port());
        return true;
    }

    // Connects and forgets the success message; false unless the connect fully
    // worked, and then the messages stay, for the failure to show.
    bool connect()
    {
        form->ToggleConnection();
        const bool ok = form->bConnected && messages == QStringList({msg::readSucceeded()});
        if (ok)
            messages.clear();
        return ok;
    }

    // The requests of a clean connect to a device started with simArgs: the
    // probe, the full read, its fence, and the reads that prove repeated replies.
    static long connectRequests(const QStringList &simArgs = {})
    {
        SimWindow clean(simArgs);
        if (!clean.start() || !clean.connect())
            return -1;
        clean.form->ToggleConnection(); // disconnected before the first poll
        clean.sim.dumpImage();
        return clean.sim.requestCount();
    }

private:
    SimPath m_path;
};
