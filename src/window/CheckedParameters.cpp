// What 设置, 导出配置 and 交接单 share before they go on: the set the window
// shows, checked as the write checks it, and the texts it shows only in part.
#include "FormMain.h"

#include "FieldTable.h"
#include "Messages.h"
#include "ProblemMessages.h"
#include "WritePlan.h"

#include <QDir>
#include <QStandardPaths>

std::optional<params::ParameterSet> FormMain::CheckedParameterSet()
{
    const params::ParameterSet set = CollectParameterSet();
    // What is unchanged since the full read goes back as read, and only what
    // is encoded is checked.
    const std::vector<params::Problem> problems = params::checkParameters(set, deviceReading ? &*deviceReading : nullptr);
    if (!problems.empty()) {
        ShowMessage(problemMessage(problems.front()));
        return std::nullopt;
    }
    return set;
}

QString FormMain::TextsShownInPart(const params::ParameterSet &set) const
{
    QStringList partial;
    for (const params::PlannedWrite &w : params::planWrites(set, deviceReading ? &*deviceReading : nullptr))
        if (w.longerOnDevice)
            partial << params::fieldCaption(w.field);
    return partial.join(msg::listSeparator());
}

QString FormMain::SuggestedFile(const QString &pattern, const QDateTime &now)
{
    return QDir(QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation))
        .filePath(pattern.arg(now.toString(QStringLiteral("yyyyMMdd-HHmm"))));
}
