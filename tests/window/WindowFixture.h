#pragma once
// A started window on a fake link, with every message box caught.

#include "FakeLink.h"
#include "FormMain.h"

#include <QListWidget>
#include <QStringList>
#include <memory>

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
