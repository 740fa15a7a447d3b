#include "DeviceImage.h"

#include "FieldCodecs.h"
#include "RegisterMap.h"
#include "RegisterText.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QStringList>

namespace deviceimage {

void putText(std::vector<quint16> &image, int slot, const QString &text)
{
    const QVector<quint16> regs = regtext::slotRegisters(regtext::encodeGbk(text).bytes, regmap::kSlotBytes);
    std::copy(regs.begin(), regs.end(), image.begin() + slot);
}

bool save(const QString &path, const std::vector<quint16> &image)
{
    QJsonArray array;
    for (quint16 v : image)
        array.append(v);
    QFile file(path);
    const QByteArray json = QJsonDocument(array).toJson(QJsonDocument::Compact);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(json) == json.size();
}

namespace {
bool isWritten(int address)
{
    for (int slot = address - regmap::kSlotRegisters + 1; slot <= address; ++slot)
        if (slot >= 0 && regmap::isTextField(slot))
            return true;
    return (address >= regmap::kActionTimes.start && address < regmap::kActionTimes.start + regmap::kActionTimes.count)
           || address == regmap::kOptionFlags || address == regmap::kAlarmMode;
}
} // namespace

QMap<QString, QString> fields(const std::vector<quint16> &image)
{
    QMap<QString, QString> out;
    QStringList phones;
    for (int slot = 0; slot < regmap::kImageRegisters; ++slot) {
        if (!regmap::isTextField(slot))
            continue;
        const QVector<quint16> whole(image.begin() + slot, image.begin() + slot + regmap::kSlotRegisters);
        const QString text = regtext::decodeTextBlock(whole, regmap::kSlotRegisters);
        if (!regmap::isPhoneSlot(slot))
            out[QStringLiteral("text %1").arg(slot, 4)] = text;
        else if (const std::optional<QString> entry = fields::phoneEntryFromSlot(text))
            phones << *entry;
    }
    // The numbers in slot order; an empty slot between two is closed up.
    out[QStringLiteral("phones")] = phones.join(QStringLiteral(", "));
    for (int r = 0; r < regmap::kRelayCount; ++r)
        out[QStringLiteral("time Q%1").arg(r)] = QString::number(static_cast<qint16>(image[regmap::kActionTimes.start + r]));
    out[QStringLiteral("options")] = QString::number(image[regmap::kOptionFlags] & 3);
    out[QStringLiteral("mode")] = QString::number(fields::decodeAlarmMode(image[regmap::kAlarmMode]));
    return out;
}

QMap<int, quint16> untouchedRegisters(const std::vector<quint16> &image)
{
    QMap<int, quint16> out;
    for (int a = 0; a < static_cast<int>(image.size()); ++a)
        if (!isWritten(a))
            out[a] = image[a];
    return out;
}

} // namespace deviceimage
