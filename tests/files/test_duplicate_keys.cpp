// A key twice in one JSON object, found in the raw text, where QJsonDocument
// keeps the last value and says nothing.
#include "DuplicateKeys.h"

#include <QJsonDocument>
#include <QtTest>

class DuplicateKeysTest : public QObject {
    Q_OBJECT

private slots:
    void theRepeatedKeyIsNamedByItsPath_data()
    {
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<QStringList>("paths");
        QTest::newRow("the same key in other objects")
            << QByteArray("{\"a\": 1, \"b\": {\"a\": 2}, \"c\": [{\"a\": 1}, {\"a\": 2}], \"d\": {\"k\": 1}, \"e\": {\"k\": 1}}") << QStringList();
        QTest::newRow("at the top") << QByteArray("{\"a\": 1, \"a\": 2}") << QStringList({"a"});
        QTest::newRow("nested") << QByteArray("{\"parameters\": {\"password\": \"2024\", \"password\": \"6666\"}}")
                                << QStringList({"parameters.password"});
        QTest::newRow("in the second element")
            << QByteArray("{\"relays\": [{\"on\": \"x\", \"off\": \"y\"}, {\"on\": \"a\", \"off\": \"b\", \"on\": \"c\"}]}")
            << QStringList({"relays[1].on"});
        QTest::newRow("arrays in arrays") << QByteArray("{\"m\": [1, [2, {\"k\": 1, \"k\": 2}]]}") << QStringList({"m[1][1].k"});
        QTest::newRow("three times, named once") << QByteArray("{\"a\": 1, \"a\": 2, \"a\": 3}") << QStringList({"a"});
        QTest::newRow("two keys, in order") << QByteArray("{\"b\": 1, \"a\": 1, \"a\": 2, \"b\": 2}") << QStringList({"a", "b"});
        QTest::newRow("an escape spells the same key")
            << QByteArray("{\"password\": \"1\", \"pass\\u0077ord\": \"2\"}") << QStringList({"password"});
        QTest::newRow("a surrogate pair escaped") << QByteArray("{\"\\ud83d\\ude00\": 1, \"😀\": 2}") << QStringList({"😀"});
        QTest::newRow("quotes, braces and commas in values")
            << QByteArray("{\"a\": \"}\\\",{\\\"a\\\": [\", \"b\": \"\\\\\", \"c\": {\"d\": \"\\\"a\\\":\"}}") << QStringList();
        QTest::newRow("a value ending in a backslash") << QByteArray("{\"x\": \"\\\\\", \"x\": 1}") << QStringList({"x"});
        QTest::newRow("keys that differ by an escape")
            << QByteArray("{\"a\\\"b\": 1, \"a\\\\b\": 2, \"a\\/b\": 3, \"a/b\": 4}") << QStringList({"a/b"});
    }

    void theRepeatedKeyIsNamedByItsPath()
    {
        QFETCH(QByteArray, json);
        QFETCH(QStringList, paths);
        QVERIFY2(!QJsonDocument::fromJson(json).isNull(), "the row is valid JSON");
        const std::vector<QString> found = jsonkeys::duplicates(json);
        QCOMPARE(QStringList(found.begin(), found.end()), paths);
    }
};

QTEST_GUILESS_MAIN(DuplicateKeysTest)
#include "test_duplicate_keys.moc"
