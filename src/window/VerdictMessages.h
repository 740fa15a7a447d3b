#pragma once
// The window's words for the line doctor's verdict (LineDiagnosis.h): what
// the cause is and what to do, in one or two sentences.

#include "LineDiagnosis.h"

#include <QString>

QString lineVerdictMessage(const doctor::Diagnosis &diagnosis);
