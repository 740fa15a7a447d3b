// Which language the window speaks, and that its catalogues name every
// field in both languages.
#include "FieldTable.h"
#include "Language.h"

#include <QRegularExpression>
#include <QtTest>

using language::Language;

namespace {
bool holdsChinese(const QString &text)
{
    static const QRegularExpression han(QStringLiteral("\\p{Han}"));
    return han.match(text).hasMatch();
}
} // namespace

class LanguageTest : public QObject {
    Q_OBJECT
private slots:
    void theLocaleVariablesDecide_data()
    {
        QTest::addColumn<QStringList>("variables"); // LANGUAGE, LC_ALL, LC_MESSAGES, LANG
        QTest::addColumn<Language>("expected");
        const Language zh = Language::Chinese, en = Language::English;
        QTest::newRow("none set") << QStringList{"", "", "", ""} << zh;
        QTest::newRow("C") << QStringList{"", "", "", "C"} << zh;
        QTest::newRow("C.UTF-8") << QStringList{"", "", "", "C.UTF-8"} << zh;
        QTest::newRow("POSIX") << QStringList{"", "POSIX", "", "en_US.UTF-8"} << zh;
        QTest::newRow("Chinese") << QStringList{"", "", "", "zh_CN.UTF-8"} << zh;
        QTest::newRow("Taiwan") << QStringList{"", "", "", "zh_TW.UTF-8"} << zh;
        QTest::newRow("English") << QStringList{"", "", "", "en_US.UTF-8"} << en;
        QTest::newRow("German") << QStringList{"", "", "", "de_DE@euro"} << en;
        QTest::newRow("LC_MESSAGES over LANG") << QStringList{"", "", "en_GB.UTF-8", "zh_CN.UTF-8"} << en;
        QTest::newRow("LC_ALL over LC_MESSAGES") << QStringList{"", "zh_CN.UTF-8", "en_GB.UTF-8", ""} << zh;
        QTest::newRow("LANGUAGE over all") << QStringList{"en", "C.UTF-8", "zh_CN.UTF-8", "zh_CN.UTF-8"} << en;
        QTest::newRow("LANGUAGE's first entry") << QStringList{"zh_CN:en_US", "", "", "en_US.UTF-8"} << zh;
        QTest::newRow("LANGUAGE's empty entries") << QStringList{":fr", "", "", "zh_CN.UTF-8"} << en;
    }
    void theLocaleVariablesDecide()
    {
        QFETCH(QStringList, variables);
        QFETCH(Language, expected);
        QCOMPARE(language::fromPosixEnvironment(variables[0], variables[1], variables[2], variables[3]), expected);
    }

    void theDisplayLanguageDecidesOnWindows()
    {
        QCOMPARE(language::fromWindowsLanguageId(0x0804), Language::Chinese); // zh-CN
        QCOMPARE(language::fromWindowsLanguageId(0x0404), Language::Chinese); // zh-TW
        QCOMPARE(language::fromWindowsLanguageId(0x0409), Language::English); // en-US
        QCOMPARE(language::fromWindowsLanguageId(0x0407), Language::English); // de-DE
        QCOMPARE(language::fromWindowsLanguageId(0x0411), Language::English); // ja-JP
    }

    void alarmcfgLangOverridesTheSystem()
    {
        QCOMPARE(language::fromOverride("zh"), std::optional<Language>(Language::Chinese));
        QCOMPARE(language::fromOverride("en"), std::optional<Language>(Language::English));
        for (const char *ignored : {"", "fr", "EN", "zh_CN", " en"})
            QVERIFY2(!language::fromOverride(ignored), ignored);
        qputenv("ALARMCFG_LANG", "en");
        QCOMPARE(language::chosen(), Language::English);
        qputenv("ALARMCFG_LANG", "zh");
        QCOMPARE(language::chosen(), Language::Chinese);
        qunsetenv("ALARMCFG_LANG");
        QCOMPARE(language::chosen(), language::systemLanguage());
    }

    // Every field's caption, and the mode's choices, in both catalogues:
    // Chinese as the code writes it, English without a Chinese character.
    void everyFieldHasACaptionInBothLanguages()
    {
        QStringList source;
        for (const params::Field &f : params::fieldTable())
            source << f.caption.text();
        for (int choice = 0; choice < regmap::kModeChoices; ++choice)
            source << params::modeChoiceCaption(choice);
        source << params::phoneCaption(2);

        QVERIFY(language::install(*QCoreApplication::instance(), Language::English));
        QStringList english;
        for (const params::Field &f : params::fieldTable())
            english << f.caption.text();
        for (int choice = 0; choice < regmap::kModeChoices; ++choice)
            english << params::modeChoiceCaption(choice);
        english << params::phoneCaption(2);
        QCOMPARE(english.size(), source.size());
        for (int i = 0; i < source.size(); ++i) {
            QVERIFY2(holdsChinese(source[i]), qPrintable(source[i]));
            QVERIFY2(!english[i].isEmpty() && !holdsChinese(english[i]), qPrintable(source[i] + " → " + english[i]));
        }
        QVERIFY(english.last().contains(u'3')); // the third entry
        QCOMPARE(params::fieldCaption("parameters.relays[1].on"), QStringLiteral("Relay 2 on command"));
        QCOMPARE(QSet<QString>(english.begin(), english.end()).size(), english.size()); // no two fields alike

        QVERIFY(language::install(*QCoreApplication::instance(), Language::Chinese));
        QStringList chinese;
        for (const params::Field &f : params::fieldTable())
            chinese << f.caption.text();
        for (int choice = 0; choice < regmap::kModeChoices; ++choice)
            chinese << params::modeChoiceCaption(choice);
        chinese << params::phoneCaption(2);
        QCOMPARE(chinese, source);
    }

    // Qt's own texts: the file dialog's and the message boxes' buttons.
    void chineseBringsQtsOwnCatalogue()
    {
        QVERIFY(language::install(*QCoreApplication::instance(), Language::Chinese));
        QCOMPARE(QCoreApplication::translate("QPlatformTheme", "OK"), QStringLiteral("确定"));
        QCOMPARE(QCoreApplication::translate("QPlatformTheme", "Cancel"), QStringLiteral("取消"));
        QVERIFY(language::install(*QCoreApplication::instance(), Language::English));
        QCOMPARE(QCoreApplication::translate("QPlatformTheme", "OK"), QStringLiteral("OK"));
    }
};

QTEST_GUILESS_MAIN(LanguageTest)
#include "test_language.moc"
