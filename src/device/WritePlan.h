#pragma once
// From a parameter set to the controller's registers: the checks a set must
// pass, and the 22 writes that send it, in the order the device takes them.
//
// With a reading of the device, whatever the set still holds as that read
// gave it goes back with the registers as read, so the device keeps what the
// tool reads but does not keep: another password in front of a command, bytes
// after a text's end, the unused action-time registers, mode and option bits
// the window has no choice for, empty phone slots between numbers. Only what
// changed since is encoded, and only that is checked.

#include "DeviceReading.h"
#include "FieldTable.h"
#include "ParameterSet.h"
#include "Problem.h"

#include <QString>
#include <QStringList>
#include <QVector>

#include <vector>

namespace params {

// Every problem that keeps the set from being written, in the order the
// write checks them; empty when it can be written.
std::vector<Problem> checkParameters(const ParameterSet &set, const DeviceReading *reading = nullptr);

// Progress of the write on a bar of 0..100.
constexpr int kTextProgressStep = 3;  // after each text but the phone numbers
constexpr int kTimesProgressStep = 4; // twice after the action times
constexpr int kProgressDone = 100;

struct PlannedWrite {
    int start;
    QVector<quint16> registers;
    bool single;                    // one register with function 06, else a block with 16
    std::vector<int> progressAfter; // bar values once it is confirmed
    QString field;                  // the paths of the fields it stores
    QString text;                   // what a text slot carries as the set composes it, for the operator
    bool asRead;                    // the registers as read from the device, not encoded from the set
    bool longerOnDevice;            // a text as read that filled its block: the device may hold more
};

// The 22 writes of a set that passed the checks.
std::vector<PlannedWrite> planWrites(const ParameterSet &set, const DeviceReading *reading = nullptr);

// What one text slot gets, without planning the other writes. Whether the
// text at slot goes back as read having filled what the read fetched of it
// (PlannedWrite::longerOnDevice).
bool textLongerOnDevice(int slot, const ParameterSet &set, const DeviceReading *reading);
// The text a field's slot holds once the set is written against the
// reading: as read where it goes back as read (with another password in
// front, or none), else as the set composes it. For the set the reading
// gave, the text as the device holds it.
QString storedText(const Field &f, const ParameterSet &set, const DeviceReading *reading);
// The passwords in front of the commands so stored, each once, in the
// table's order; "" for a command stored without one.
QStringList commandPasswords(const ParameterSet &set, const DeviceReading *reading);

} // namespace params
