#pragma once
// A started window on a fake link, with every message box caught.

#include "FakeLink.h"
#include "FormMain.h"
#include "RememberedPorts.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QRadioButton>
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

// The same edits of every field, for windows on any link.
inline void editEveryField(FormMain &f)
{
    f.txtMiMa->setText(QStringLiteral("4321"));
    f.txtOpen[0]->setText(QStringLiteral("开灯"));
    f.txtClose[0]->setText(QStringLiteral("off1"));
    f.txtAnswer[0]->setText(QStringLiteral("灯已开"));
    f.txtCAnswer[0]->setText(QString()); // emptied
    f.txtOpen[1]->setText(QStringLiteral("泵开"));
    f.txtClose[1]->setText(QStringLiteral("泵关"));
    f.txtAnswer[1]->setText(QStringLiteral("ok")); // shorter than "设备2开启成功"
    f.txtCAnswer[1]->setText(QStringLiteral("水泵已经关闭"));
    f.txtAllCmd[0]->setText(QStringLiteral("ALLON"));
    f.txtTime[0]->setText(QStringLiteral("12"));
    f.txtTime[1]->setText(QStringLiteral("-3"));
    f.chkHold->setChecked(true);
    f.OptMode[1]->setChecked(true);
    f.lstPhone->clear();
    f.lstPhone->addItems({"13912345678", "110"});
    f.cmbDISel->setCurrentIndex(2);
    f.txtDIAlarm->setPlainText(QStringLiteral("一号门打开"));
}

struct WindowFixture {
    FakeLink link;
    std::unique_ptr<FormMain> form;
    QStringList messages;                            // and questions
    std::function<void(const QString &)> onMessage; // runs while the "box" is open
    bool answer = false;                             // whether a box's extra button is pressed
    QString chosenFile;                              // what the file dialogs answer
    QStringList suggestedFiles;                      // what they were offered

    WindowFixture()
    {
        QStandardPaths::setTestModeEnabled(true); // the port map of a test user, never the real one
        QFile::remove(ports::rememberedPortsPath()); // who has connected to no network port yet
        FormMain::setMessageHook([this](const QString &text) {
            messages << text;
            if (onMessage)
                onMessage(text);
        });
        FormMain::setChoiceHook([this](const QString &text, const QString &) {
            messages << text;
            return answer;
        });
        FormMain::setFileDialogHook([this](FormMain::FileDialog, const QString &suggested) {
            suggestedFiles << suggested;
            return chosenFile;
        });
        form = std::make_unique<FormMain>(&link);
        form->InitializeWindow();
    }
    ~WindowFixture()
    {
        FormMain::setMessageHook({});
        FormMain::setChoiceHook({});
        FormMain::setFileDialogHook({});
    }

    // Connects through the fake and forgets the calls and messages it made.
    void connectQuietly()
    {
        form->ToggleConnection();
        link.calls.clear();
        messages.clear();
    }
};
