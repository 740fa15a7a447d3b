// Switching a relay by hand, and the colour rule of the state buttons.
#include "FormMain.h"

#include "BusyCursor.h"
#include "Messages.h"
#include "ModbusLink.h"
#include "RegisterMap.h"
#include "RelayBits.h"
#include "WindowTimer.h"

#include <QApplication>
#include <QPushButton>

quint8 FormMain::GetNumTbl(int index)
{
    return relaybits::maskOf(index); // no bit for a bad index: nothing is painted or switched
}

QColor FormMain::StateColour(bool on)
{
    return on ? QColor(0x00, 0xFF, 0x00) : QApplication::palette().color(QPalette::Button);
}

void FormMain::PaintStateButton(QPushButton *button, bool on)
{
    QPalette palette = button->palette();
    if (palette.color(QPalette::Button) == StateColour(on))
        return; // the poll repaints every second; most of the time nothing changed
    palette.setColor(QPalette::Button, StateColour(on));
    button->setPalette(palette);
}

void FormMain::ToggleRelay(int i)
{
    // Without a device the button would show a state nobody sent.
    if (!bConnected) {
        ShowMessage(msg::connectFirst());
        return;
    }
    BusyCursor busy;
    // The one rule of the relay register, from the bits the window shows.
    const quint16 shown = static_cast<quint16>(nRelayBits);
    const bool on = !relaybits::isOn(shown, i);
    Timer1->setEnabled(false); // the poll resumes with WriteDone
    // The button shows what the device confirmed; the next poll shows what
    // it holds, whatever came of the switch.
    if (const session::Outcome<quint16> confirmed = device.switchRelay(i, on, shown)) {
        nRelayBits = static_cast<qint16>(*confirmed);
        PaintStateButton(cmdRelay[i], relaybits::isOn(*confirmed, i));
    }
}
