#pragma once
// Which language the window speaks, Chinese or English, and putting its
// catalogues in place. Chinese unless the system asks for another language,
// which gives English; ALARMCFG_LANG=zh or en decides over the system. Both
// programs can use it: the command line's own words stay English.

#include <QString>

#include <optional>

class QCoreApplication;

namespace language {

enum class Language { Chinese, English };

// ALARMCFG_LANG's choice, else the system's.
Language chosen();

// Installs the catalogue of language into app: the program's own (from its
// resources) and, for Chinese, Qt's own (its dialogs and buttons). A second
// call replaces what the first installed. False when a catalogue was not
// found; the texts it lacks stay as the code writes them.
bool install(QCoreApplication &app, Language language);

// The rules, shared by the platforms' files and the tests.
// ALARMCFG_LANG's value: "zh" or "en"; nothing for any other value.
std::optional<Language> fromOverride(const QString &value);
// One locale name (zh_CN.UTF-8, en_US, C.UTF-8): C and POSIX make no
// choice, so Chinese, as does any Chinese; any other language is English.
Language fromLocaleName(const QString &name);
// LANGUAGE, LC_ALL, LC_MESSAGES and LANG, as they are set: the first that is
// set decides (LANGUAGE's first entry); none set means Chinese.
Language fromPosixEnvironment(const QString &languageList, const QString &lcAll, const QString &lcMessages,
                              const QString &lang);
// A Windows language id (LANGID), the user's display language: any Chinese
// is Chinese, any other language English.
Language fromWindowsLanguageId(quint16 id);

// This platform's own: what the system asks for (Language_posix.cpp,
// Language_win.cpp), and the folder that holds Qt's own catalogues.
Language systemLanguage();
QString qtCatalogueFolder();

} // namespace language
