#pragma once
// A started window on a fake link, with every message box caught.

#include "FakeLink.h"
#include "FormMain.h"

#include <QListWidget>
#include <QStandardPaths>
#include <QStringList>
#include <memory>

// The 44 reads of a full read as the fake traces them, written out by hand.
inline QStringList fullReadTrace()
{
    QStringList reads;
    for (int p = 0; p < 5; ++p)
        reads << QStringLiteral("R%1x10").arg(710 + 20 * p);
    for (int k = 0; k < 4; ++k)
        reads << QStringLiteral("R%1x10").arg(810 + 20 * k);
    for (int i = 0; i < 32; ++i)
        reads << QStringLiteral("R%1x10").arg(10 + 20 * i);
    return reads << "R900x8" << "R1030x1" << "R1050x1";
}

inline QStringList listEntries(const QListWidget *list)
{
    QStringList out;
    for (int i = 0; i < list->count(); ++i)
        out << list->item(i)->text();
    return out;
}

struct WindowFixture {
    FakeLink link;
    std::unique_ptr<FormMain> form;
    QStringList messages;
    std::function<void(const QString &)> onMessage; // runs while the "box" is open

    WindowFixture()
    {
        QStandardPaths::setTestModeEnabled(true); // the port map of a test user, never the real one
        FormMain::setMessageHook([this](const QString &text) {
            messages << text;
            if (onMessage)
                onMessage(text);
        });
        form = std::make_unique<FormMain>(&link);
        form->InitializeWindow();
    }
    ~WindowFixture() { FormMain::setMessageHook({}); }

    // Connects through the fake and forgets the calls and messages it made.
    void connectQuietly()
    {
        form->ToggleConnection();
        link.calls.clear();
        messages.clear();
    }
};
