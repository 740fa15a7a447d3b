#pragma once
// The operator's words for what keeps a parameter set or a file from being used.

#include "DeviceSession.h"
#include "Problem.h"
#include "SafeFile.h"

#include <QString>
#include <vector>

// The message the write shows for a problem of its checks, or the line a
// refused file gets for one of its problems.
QString problemMessage(const params::Problem &problem);

// What stands at a path instead of a regular file, in the operator's words.
QString fileKindName(filekind::Kind kind);
// Why 导出配置 could not save a file: the system's words, or why the tool left it alone.
QString saveFailureMessage(const safefile::Failure &failure);

// One line for each problem of a file: the window's name for its field and
// the field's path in the file, then what is wrong.
QString fileProblemLines(const std::vector<params::Problem> &problems);

// Why a full read failed, as its class says (FailureClass.h): a refusal
// names what the device refused, and only silence blames the connection.
QString readFailureMessage(const session::LinkProblem &problem);
// Why a write failed, and how many of its writes the device confirmed.
QString writeFailureMessage(const session::LinkProblem &problem, int confirmed, int total);
// The same in one line, for what follows a write: who failed.
QString linkProblemLine(const session::LinkProblem &problem);
