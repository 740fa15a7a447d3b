// Linux: the locale variables decide, in the order gettext reads them; Qt's
// own catalogues are the system's (Debian's qt6-translations-l10n).
#include "Language.h"

#include <QLibraryInfo>

namespace language {

Language systemLanguage()
{
    return fromPosixEnvironment(qEnvironmentVariable("LANGUAGE"), qEnvironmentVariable("LC_ALL"),
                                qEnvironmentVariable("LC_MESSAGES"), qEnvironmentVariable("LANG"));
}

QString qtCatalogueFolder()
{
    return QLibraryInfo::path(QLibraryInfo::TranslationsPath);
}

} // namespace language
