// The window's catalogues against its code: lupdate finds nothing new or
// gone, every English text is finished and keeps its placeholders, and the
// Chinese catalogue gives every text as the code writes it, so that the
// Chinese window is the code's own.
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QXmlStreamReader>
#include <QtTest>

namespace {

struct Message {
    QString context, source, translation;
    bool finished = false;
};

std::vector<Message> readCatalogue(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    std::vector<Message> out;
    QXmlStreamReader xml(&file);
    QString context;
    while (!xml.atEnd()) {
        if (xml.readNext() != QXmlStreamReader::StartElement)
            continue;
        if (xml.name() == QLatin1String("name"))
            context = xml.readElementText();
        else if (xml.name() == QLatin1String("message"))
            out.push_back({context, {}, {}, false});
        else if (xml.name() == QLatin1String("source") && !out.empty())
            out.back().source = xml.readElementText();
        else if (xml.name() == QLatin1String("translation") && !out.empty()) {
            out.back().finished = xml.attributes().value(QLatin1String("type")).isEmpty();
            out.back().translation = xml.readElementText();
        }
    }
    return xml.hasError() ? std::vector<Message>{} : out;
}

QStringList placeholders(const QString &text)
{
    static const QRegularExpression number(QStringLiteral("%\\d"));
    QStringList out;
    for (auto it = number.globalMatch(text); it.hasNext();)
        out << it.next().captured();
    out.sort();
    return out;
}

QString catalogue(const QString &ending)
{
    for (const QString &path : QStringLiteral(ALARMCFG_CATALOGUES).split(u'|'))
        if (path.endsWith(ending))
            return path;
    return QString();
}

} // namespace

class CataloguesTest : public QObject {
    Q_OBJECT
private slots:
    // What lupdate would change in a copy of each catalogue: nothing, or a
    // text of the code has no translation (scripts/translations brings them in).
    void theCataloguesHoldEveryTextOfTheCode()
    {
        QTemporaryDir dir;
        QStringList copies;
        for (const QString &path : QStringLiteral(ALARMCFG_CATALOGUES).split(u'|')) {
            copies << dir.filePath(QFileInfo(path).fileName());
            QVERIFY(QFile::copy(path, copies.last()));
        }
        QProcess lupdate;
        QStringList arguments = QStringLiteral(ALARMCFG_LUPDATE_OPTIONS).split(u'|');
        arguments << QStringLiteral("-silent") << QStringLiteral("@" ALARMCFG_TRANSLATED_SOURCES) << QStringLiteral("-ts") << copies;
        lupdate.start(QStringLiteral(ALARMCFG_LUPDATE), arguments);
        QVERIFY(lupdate.waitForFinished(60000));
        QVERIFY2(lupdate.exitCode() == 0, lupdate.readAllStandardError().constData());
        for (const QString &copy : copies) {
            QFile updated(copy), original(catalogue(QFileInfo(copy).fileName()));
            QVERIFY(updated.open(QIODevice::ReadOnly) && original.open(QIODevice::ReadOnly));
            QVERIFY2(updated.readAll() == original.readAll(),
                     qPrintable(original.fileName() + " is behind the code: run scripts/translations"));
        }
    }

    void everyTextHasAFinishedEnglishTranslation()
    {
        const std::vector<Message> english = readCatalogue(catalogue("_en.ts"));
        QVERIFY(english.size() > 100);
        static const QRegularExpression han(QStringLiteral("\\p{Han}"));
        for (const Message &m : english) {
            const QString where = m.context + ": " + m.source + " → " + m.translation;
            QVERIFY2(m.finished && !m.translation.trimmed().isEmpty(), qPrintable(where));
            QVERIFY2(!han.match(m.translation).hasMatch(), qPrintable(where));
            QVERIFY2(placeholders(m.translation) == placeholders(m.source), qPrintable(where));
        }
    }

    void theChineseCatalogueIsTheCodesOwnTexts()
    {
        const std::vector<Message> chinese = readCatalogue(catalogue("_zh_CN.ts"));
        QVERIFY(!chinese.empty());
        QCOMPARE(chinese.size(), readCatalogue(catalogue("_en.ts")).size());
        for (const Message &m : chinese)
            QVERIFY2(m.finished && m.translation == m.source, qPrintable(m.context + ": " + m.source + " → " + m.translation));
    }
};

QTEST_GUILESS_MAIN(CataloguesTest)
#include "test_catalogues.moc"
