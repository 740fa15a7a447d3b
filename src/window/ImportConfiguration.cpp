// Putting a saved configuration into the window, ready to be written.
#include "FormMain.h"

#include "ConfigFile.h"
#include "Messages.h"
#include "ProblemMessages.h"

#include <QStandardPaths>

void FormMain::ImportConfiguration()
{
    const QString path = AskFileName(FileDialog::Open, QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation));
    if (path.isEmpty())
        return;
    // Everything is checked before anything changes.
    const config::ParseResult result = config::readFile(path);
    if (!result.configuration) {
        ShowMessage(msg::configRefused(path, fileProblemLines(result.problems)));
        return;
    }
    // A field the file holds as the last read gave it still goes back as read.
    ShowParameterSet(result.configuration->set);
    ShowMessage(msg::configImported());
}
