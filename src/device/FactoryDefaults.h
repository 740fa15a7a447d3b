#pragma once
// The controller's factory configuration, as the window shows it and as a
// factory-fresh device holds it.

#include <QString>
#include <vector>

namespace factory {

QString password();
QString phoneNumber();
QString actionTime();
// Relay n = 1 or 2.
QString relayOnCommand(int n);
QString relayOffCommand(int n);
QString relayOnReply(int n);
QString relayOffReply(int n);
// Alarm text slot k = 0..3: channel 1 closing, 2 closing, 1 opening, 2 opening.
QString channelAlarmText(int k);
QString allOnCommand();
QString allOffCommand();

constexpr int kFirmwareVersion = 0x0015; // V1.5
constexpr int kAlarmMode = 4;            // both ways

// Registers 0..1099 of a factory-fresh controller.
std::vector<quint16> registerImage();

} // namespace factory
