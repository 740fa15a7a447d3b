#include "FormMain.h"
#include "Language.h"
#include "RtuLink.h"

#include <QApplication>
#include <QStyleFactory>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QGuiApplication::setDesktopFileName(QStringLiteral("alarmcfg")); // ties the window to its menu entry and icon
    // Chinese, or English on a system that asks for another language; Qt's
    // own dialogs follow.
    if (!language::install(app, language::chosen()))
        qWarning("alarmcfg: a catalogue of the window's language is missing; some texts stay as the program holds them");
    // Fusion paints a button's background colour on every platform, which
    // the relay and input state buttons rely on.
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
    RtuLink link;
    FormMain window(&link);
    window.InitializeWindow();
    window.show();
    return app.exec();
}
