#include "DeviceImage.h"

#include "ImageFile.h"

#include "FactoryDefaults.h"
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

std::vector<quint16> customImage()
{
    std::vector<quint16> image = factory::registerImage();
    putText(image, 10, QStringLiteral("4321*开灯"));
    putText(image, 30, QStringLiteral("4321*关灯"));
    putText(image, 50, QStringLiteral("灯已打开"));
    putText(image, 70, QStringLiteral("light off"));
    putText(image, 90, QStringLiteral("4321*pump on"));
    putText(image, 110, QStringLiteral("4321*pump off"));
    putText(image, 130, QStringLiteral("水泵已开"));
    putText(image, 150, QStringLiteral("Q1 off 好"));
    putText(image, 170, QStringLiteral("not a field of the tool"));
    putText(image, 490, QStringLiteral("4321*ALL ON"));
    putText(image, 510, QStringLiteral("4321*全部关闭"));
    putText(image, 710, QStringLiteral("+8613800000000"));
    putText(image, 730, QStringLiteral("8613912345678"));
    putText(image, 750, QStringLiteral("110"));
    putText(image, 770, QStringLiteral("8613912345678"));
    putText(image, 770, QStringLiteral("a"));
    putText(image, 790, QStringLiteral("a"));
    putText(image, 810, QStringLiteral("前门被打开，请立即检查现场安全")); // 30 bytes: read only in part
    putText(image, 830, QStringLiteral("Door 2 closed"));
    putText(image, 850, QStringLiteral("一号断开"));
    putText(image, 870, QStringLiteral("ch2 open 警告"));
    image[900] = 25;
    image[901] = 30;
    image[1030] = 3;
    image[1050] = 2; // alarm on opening
    return image;
}

namespace {

// Bytes into a slot as they are, with nothing added.
void putBytes(std::vector<quint16> &image, int slot, const QByteArray &bytes)
{
    const QVector<quint16> regs = regtext::bytesToRegisters(bytes);
    std::copy(regs.begin(), regs.end(), image.begin() + slot);
}

QByteArray gbk(const QString &text) { return regtext::encodeGbk(text).bytes; }

// The six commands of oddImage() as the window shows them, by slot.
const std::pair<int, const char *> kOddCommands[] = {{10, "开灯"},  {30, "关灯"},     {90, "OPEN2"},
                                                     {110, "pump off"}, {490, "ALL ON"}, {510, "全部关闭"}};

} // namespace

std::vector<quint16> oddImage()
{
    std::vector<quint16> image = customImage();
    putText(image, 30, QStringLiteral("1111*关灯"));
    putText(image, 90, QStringLiteral("OPEN2")); // the last switch-on command read: no password
    putText(image, 510, QStringLiteral("88*全部关闭"));
    // Bytes after the end: in the block the window reads, in the low byte of
    // the register that holds the end, and beyond the first 10 registers.
    putBytes(image, 50, gbk(QStringLiteral("灯已打开")) + QByteArray("\0XYZ", 4));
    putBytes(image, 70, QByteArray("light of\0J", 10));
    putBytes(image, 830, QByteArray("Door 2 closed", 14) + QByteArray(8, '\0') + "left over");
    putText(image, 730, QStringLiteral("a")); // an empty slot before three numbers
    putText(image, 750, QStringLiteral("110"));
    putText(image, 770, QStringLiteral("8613912345678"));
    putBytes(image, 790, QByteArray("a\0old number 139", 17));
    const quint16 unused[] = {7, 1, 0x8000, 3, 0xFFFF, 42};
    std::copy(std::begin(unused), std::end(unused), image.begin() + 902);
    image[1030] = 0x0103;
    image[1050] = 6;
    return image;
}

std::vector<quint16> oddImageWithPassword(const QString &password)
{
    std::vector<quint16> image = oddImage();
    for (const auto &[slot, command] : kOddCommands)
        putText(image, slot, fields::composeCommand(password, QString::fromUtf8(command)));
    return image;
}

QList<int> differingRegisters(const std::vector<quint16> &a, const std::vector<quint16> &b)
{
    QList<int> out;
    for (size_t i = 0; i < std::max(a.size(), b.size()); ++i)
        if (i >= a.size() || i >= b.size() || a[i] != b[i])
            out << static_cast<int>(i);
    return out;
}

bool save(const QString &path, const std::vector<quint16> &image)
{
    QString error;
    return imagefile::save(path, image, &error);
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
