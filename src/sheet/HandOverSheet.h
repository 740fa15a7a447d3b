#pragma once
// The hand-over sheet: one A4 page that the technician leaves with the site's
// owner. It gives the exact text to send for each switching command (the
// password, "*" and the command, as the device compares them), the reply
// that comes back, each relay's action time, and who is alarmed, with which
// text and when. The window and the command line both make it here, from a
// parameter set, and from a device's reading when the device holds it: then
// each command is printed as the device holds it, behind its own password.

#include "DeviceReading.h"
#include "ParameterSet.h"
#include "SafeFile.h"

#include <QByteArray>
#include <QDate>
#include <QString>

namespace sheet {

// What the sheet's head says about the controller and the day.
struct Header {
    QString site;     // where the controller is; empty leaves a line to write on
    QString sim;      // the controller's SIM number; empty leaves a line to write on
    QDate date;
    QString firmware; // "V1.5" when the sheet is made from a device; empty leaves it out
};

// The sheet as a PDF of one A4 page, its fonts embedded, in the language of
// the installed translators. Needs a QGuiApplication. With a reading, set is
// what the device holds against it (the set it gave, or one written since).
QByteArray makePdf(const params::ParameterSet &set, const Header &header, const params::DeviceReading *reading = nullptr);

// Saves the PDF by the rules of SafeFile, readable by its owner only, as a
// configuration file is: the commands carry the password. False with
// *failure set when it could not be written; an earlier file is then kept.
bool save(const QString &path, const QByteArray &pdf, safefile::Failure *failure);

} // namespace sheet
