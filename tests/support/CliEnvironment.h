#pragma once
// The environment alarmcfg-cli runs in under test: its backups and its port
// map in the test's own folders, away from the user's, and no trace.

#include <QProcessEnvironment>
#include <QString>

inline QProcessEnvironment cliEnvironment(const QString &dataHome, const QString &configHome)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("XDG_DATA_HOME"), dataHome);
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), configHome);
    env.remove(QStringLiteral("ALARMCFG_TRACE"));
    return env;
}
