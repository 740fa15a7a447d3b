#include "Language.h"

#include <QCoreApplication>
#include <QLocale>
#include <QStringList>
#include <QTranslator>

namespace language {

namespace {

// Marks the translators install() put in place, so that a second call finds them.
const char *const kInstalledName = "alarmcfg-language";

void installOne(QCoreApplication &app, const QString &file, const QString &folder, bool *ok)
{
    auto *translator = new QTranslator(&app);
    translator->setObjectName(QLatin1String(kInstalledName));
    if (translator->load(file, folder)) {
        QCoreApplication::installTranslator(translator);
    } else {
        delete translator;
        *ok = false;
    }
}

} // namespace

Language chosen()
{
    if (const std::optional<Language> forced = fromOverride(qEnvironmentVariable("ALARMCFG_LANG")))
        return *forced;
    return systemLanguage();
}

bool install(QCoreApplication &app, Language language)
{
    for (QTranslator *old : app.findChildren<QTranslator *>(QLatin1String(kInstalledName), Qt::FindDirectChildrenOnly)) {
        QCoreApplication::removeTranslator(old);
        delete old;
    }
    bool ok = true;
    const bool chinese = language == Language::Chinese;
    installOne(app, chinese ? QStringLiteral("alarmcfg_zh_CN") : QStringLiteral("alarmcfg_en"), QStringLiteral(":/i18n"), &ok);
    if (chinese)
        installOne(app, QStringLiteral("qtbase_zh_CN"), qtCatalogueFolder(), &ok);
    // Qt's dialogs write dates and sizes as the language does.
    QLocale::setDefault(chinese ? QLocale(QLocale::Chinese, QLocale::China) : QLocale(QLocale::English, QLocale::UnitedStates));
    return ok;
}

std::optional<Language> fromOverride(const QString &value)
{
    if (value == QLatin1String("zh"))
        return Language::Chinese;
    if (value == QLatin1String("en"))
        return Language::English;
    return std::nullopt;
}

Language fromLocaleName(const QString &name)
{
    // zh_CN.UTF-8@euro: the language is what stands before "_", "." and "@".
    const QString lang = name.section(u'@', 0, 0).section(u'.', 0, 0).section(u'_', 0, 0);
    if (lang == QLatin1String("C") || lang == QLatin1String("POSIX") || lang == QLatin1String("zh"))
        return Language::Chinese;
    return Language::English;
}

Language fromPosixEnvironment(const QString &languageList, const QString &lcAll, const QString &lcMessages,
                              const QString &lang)
{
    const QString first = languageList.section(u':', 0, 0, QString::SectionSkipEmpty);
    for (const QString &value : {first, lcAll, lcMessages, lang})
        if (!value.isEmpty())
            return fromLocaleName(value);
    return Language::Chinese;
}

Language fromWindowsLanguageId(quint16 id)
{
    constexpr quint16 kPrimaryLanguageMask = 0x3FF; // PRIMARYLANGID
    constexpr quint16 kChinese = 0x04;              // LANG_CHINESE
    return (id & kPrimaryLanguageMask) == kChinese ? Language::Chinese : Language::English;
}

} // namespace language
