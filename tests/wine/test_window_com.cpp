// The window on the real RTU link over a Windows COM port, run under wine by
// scripts/windows against alarmcfg-sim on the port.
//   ALARMCFG_E2E_PORT  the port (COM1, or tcp://127.0.0.1:PORT)
//   ALARMCFG_E2E_FILE  a configuration file that the device holds
//   ALARMCFG_E2E_FAULTY=1  the line garbles or delays replies: a connect
//                          shows the file exactly or fails, and nothing is written
// Whatever it writes it puts back, so that the simulator's registers after
// the run must equal those before it: the script compares them.
#include "ConfigFile.h"
#include "FormMain.h"
#include "Messages.h"
#include "RtuLink.h"
#include "WindowFixture.h"

#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QPushButton>
#include <QStandardPaths>
#include <QtTest>

#include <memory>

class WindowComTest : public QObject {
    Q_OBJECT

    QString m_port;
    params::ParameterSet m_held;
    bool m_faulty = false;
    RtuLink m_link;
    std::unique_ptr<FormMain> m_form;
    QStringList m_messages;

    QStringList differing(const params::ParameterSet &expected) const
    {
        QStringList fields;
        for (const params::Difference &d : params::differences(expected, m_form->CollectParameterSet()))
            fields << QStringLiteral("%1: expected '%2', shown '%3'").arg(d.field, d.first, d.second);
        return fields;
    }

    bool connect()
    {
        m_messages.clear();
        m_form->ToggleConnection();
        return m_form->bConnected;
    }

private slots:
    void initTestCase()
    {
        m_port = qEnvironmentVariable("ALARMCFG_E2E_PORT");
        QVERIFY2(!m_port.isEmpty(), "ALARMCFG_E2E_PORT names no port");
        const config::ParseResult file = config::readFile(qEnvironmentVariable("ALARMCFG_E2E_FILE"));
        QVERIFY2(file.configuration, "ALARMCFG_E2E_FILE is no configuration file");
        m_held = file.configuration->set;
        m_faulty = qEnvironmentVariable("ALARMCFG_E2E_FAULTY") == QLatin1String("1");
        QStandardPaths::setTestModeEnabled(true);
        FormMain::setMessageHook([this](const QString &text) { m_messages << text; });
        m_form = std::make_unique<FormMain>(&m_link);
        m_form->InitializeWindow();
        const int entry = m_form->cmbComSel->findText(m_port);
        QVERIFY2(entry >= 0 || m_port.startsWith(QLatin1String("tcp://")), qPrintable(m_port));
        if (entry >= 0)
            m_form->cmbComSel->setCurrentIndex(entry);
        else
            m_form->cmbComSel->setEditText(m_port); // a network port is typed
    }

    void thePortLineFindsThePortInTheSystemsList()
    {
        const QString text = m_form->lblPortInfo->text();
        QVERIFY2(text.startsWith(QStringLiteral(R"(%1：\\.\%1（%2）)").arg(m_port, msg::portOfSystem())), qPrintable(text));
        QVERIFY2(!text.contains(msg::portNotPresent()), qPrintable(text));
    }

    // The suggested file lies in the user's Documents folder.
    void anExportIsOfferedInTheUsersDocuments()
    {
        QString suggested;
        FormMain::setFileDialogHook([&](FormMain::FileDialog, const QString &offered) {
            suggested = offered;
            return QString(); // cancelled
        });
        m_form->cmdExport->click();
        FormMain::setFileDialogHook({});
        const QString documents = QDir::fromNativeSeparators(qEnvironmentVariable("USERPROFILE")) + QStringLiteral("/Documents/");
        QVERIFY2(suggested.startsWith(documents, Qt::CaseInsensitive) && suggested.contains(QStringLiteral("/alarmcfg-")),
                 qPrintable(suggested));
    }

    void aConnectShowsWhatTheDeviceHolds()
    {
        if (!connect()) {
            QVERIFY2(m_faulty, qPrintable(m_messages.join(u'|')));
            // An honest failure: the read is refused whole, nothing half-shown can be written.
            // The line doctor's words follow either lead.
            const auto saysWhy = [](const QString &m) {
                return m == msg::readFailed() || m.startsWith(msg::readFailedBecause(QString()))
                       || m.startsWith(msg::connectFailedBecause(QString()));
            };
            QVERIFY2(std::any_of(m_messages.begin(), m_messages.end(), saysWhy), qPrintable(m_messages.join(u'|')));
            qInfo("outcome: the connect was refused");
            return;
        }
        QCOMPARE(m_messages, QStringList({msg::readSucceeded()}));
        const QStringList wrong = differing(m_held);
        QVERIFY2(wrong.isEmpty(), qPrintable(wrong.join(u'\n')));
        qInfo("outcome: the connect showed the device's configuration");
    }

    void aWriteWithoutEditsLeavesTheDeviceAsItWas()
    {
        if (m_faulty || !m_form->bConnected)
            QSKIP("only on a clean line");
        m_messages.clear();
        m_form->WriteAllParameters();
        QCOMPARE(m_messages, QStringList({msg::writeSucceeded()}));
    }

    void editsComeBackFromTheDevice()
    {
        if (m_faulty || !m_form->bConnected)
            QSKIP("only on a clean line");
        editEveryField(*m_form);
        const params::ParameterSet edited = m_form->CollectParameterSet();
        m_messages.clear();
        m_form->WriteAllParameters();
        QCOMPARE(m_messages, QStringList({msg::writeSucceeded()}));
        m_form->ToggleConnection(); // disconnect
        m_form->ShowParameterSet(params::startUpSet());
        QVERIFY(connect());
        const QStringList wrong = differing(edited);
        QVERIFY2(wrong.isEmpty(), qPrintable(wrong.join(u'\n')));

        // Put the device back as it was.
        m_form->ShowParameterSet(m_held);
        m_messages.clear();
        m_form->WriteAllParameters();
        QCOMPARE(m_messages, QStringList({msg::writeSucceeded()}));
    }

    void cleanupTestCase()
    {
        if (m_form && m_form->bConnected)
            m_form->ToggleConnection();
        FormMain::setMessageHook({});
    }
};

QTEST_MAIN(WindowComTest)
#include "test_window_com.moc"
