// Windows: the user's display language decides; Qt's own catalogues ship in
// translations\ beside the program, as windeployqt lays them out.
#include "Language.h"

#include <QCoreApplication>

#include <windows.h>

namespace language {

Language systemLanguage()
{
    return fromWindowsLanguageId(GetUserDefaultUILanguage());
}

QString qtCatalogueFolder()
{
    return QCoreApplication::applicationDirPath() + QStringLiteral("/translations");
}

} // namespace language
