#pragma once
// A JSON object that holds a key twice: QJsonDocument keeps the last value
// and says nothing, so that "password" written twice would pick one silently.

#include <QByteArray>
#include <QString>

#include <vector>

namespace jsonkeys {

// The path of every key that comes again in its object ("parameters.password",
// "parameters.relays[1].on"), once each, in the order of the repeats. Keys
// compare as JSON reads them: "pass\u0077ord" is "password". Made for text
// that QJsonDocument accepted; other bytes give a list that means nothing,
// never a read past the end.
std::vector<QString> duplicates(const QByteArray &json);

} // namespace jsonkeys
