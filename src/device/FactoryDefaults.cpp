#include "FactoryDefaults.h"

#include "FieldCodecs.h"
#include "RegisterMap.h"
#include "RegisterText.h"

namespace factory {

QString password() { return QStringLiteral("739154"); }
QString phoneNumber() { return QStringLiteral("15800000000"); }
QString actionTime() { return QStringLiteral("0"); }

QString relayOnCommand(int n) { return QStringLiteral("设备%1开").arg(n); }
QString relayOffCommand(int n) { return QStringLiteral("设备%1关").arg(n); }
QString relayOnReply(int n) { return QStringLiteral("设备%1开启成功").arg(n); }
QString relayOffReply(int n) { return QStringLiteral("设备%1关闭成功").arg(n); }

QString channelAlarmText(int k)
{
    const int channel = k % 2 + 1;
    return k < 2 ? QStringLiteral("通道%1闭合报警").arg(channel) : QStringLiteral("通道%1断开报警").arg(channel);
}

QString allOnCommand() { return QStringLiteral("全开"); }
QString allOffCommand() { return QStringLiteral("全关"); }

namespace {
void putText(std::vector<quint16> &image, int slot, const QString &text)
{
    const QVector<quint16> regs = regtext::slotRegisters(regtext::encodeGbk(text).bytes, regmap::kSlotBytes);
    for (int i = 0; i < regs.size(); ++i)
        image[slot + i] = regs[i];
}
} // namespace

std::vector<quint16> registerImage()
{
    using regmap::RelayText;
    std::vector<quint16> image(regmap::kImageRegisters, 0);
    image[regmap::kStatusBlock.start + regmap::kVersionOffset] = kFirmwareVersion;
    for (int r = 0; r < regmap::kRelayCount; ++r) {
        putText(image, regmap::relayTextSlot(r, RelayText::OnCommand), fields::composeCommand(password(), relayOnCommand(r + 1)));
        putText(image, regmap::relayTextSlot(r, RelayText::OffCommand), fields::composeCommand(password(), relayOffCommand(r + 1)));
        putText(image, regmap::relayTextSlot(r, RelayText::OnReply), relayOnReply(r + 1));
        putText(image, regmap::relayTextSlot(r, RelayText::OffReply), relayOffReply(r + 1));
    }
    putText(image, regmap::allCommandSlot(0), fields::composeCommand(password(), allOnCommand()));
    putText(image, regmap::allCommandSlot(1), fields::composeCommand(password(), allOffCommand()));
    for (int k = 0; k < regmap::kAlarmTexts; ++k)
        putText(image, regmap::alarmTextSlot(k), channelAlarmText(k));
    putText(image, regmap::phoneSlot(0), fields::phoneSlotText(phoneNumber()));
    for (int p = 1; p < regmap::kPhoneSlots; ++p)
        putText(image, regmap::phoneSlot(p), fields::emptyPhoneSlotText());
    image[regmap::kAlarmMode] = kAlarmMode;
    return image;
}

} // namespace factory
