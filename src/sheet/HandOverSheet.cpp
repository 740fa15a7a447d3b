#include "HandOverSheet.h"

#include "FieldCodecs.h"
#include "FieldTable.h"
#include "PdfTextMap.h"
#include "TypedText.h"
#include "WritePlan.h"

#include <QAbstractTextDocumentLayout>
#include <QBuffer>
#include <QCoreApplication>
#include <QFont>
#include <QFontMetricsF>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QRawFont>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextTable>

#include <memory>

namespace sheet {

namespace {

// Every caption of the sheet, in the window's language; what the device
// stores is printed as it is.
QString tr(const char *source) { return QCoreApplication::translate("sheet", source); }

// "caption: value", with the language's own colon.
QString captioned(const QString &caption, const QString &value) { return tr("%1：%2").arg(caption, value); }

// One family for Chinese and Latin alike, so that a text keeps one font:
// Noto CJK on Linux, the system's Chinese font on Windows.
const QStringList kFontFamilies = {QStringLiteral("Noto Sans CJK SC"), QStringLiteral("Microsoft YaHei"),
                                   QStringLiteral("SimSun")};

constexpr double kBodyPoints = 11;
constexpr double kHeadingPoints = 12.5;
constexpr double kTitlePoints = 16;
constexpr double kFootPoints = 8;
constexpr double kMarginMm = 15;
// When the texts are long the whole sheet gets smaller, down to half, to stay on one page.
constexpr double kScaleStep = 0.05;
constexpr double kSmallestScale = 0.5;
const QColor kExactBackground(0xE4, 0xE4, 0xE4); // behind what is sent and received, spaces included
const QColor kMarkColour(0xB0, 0x00, 0x00);

// The sheet's font at a size. Shaped from the font's character map alone: the
// PDF tells a glyph's character by that map, and a glyph the shaping put in
// its place (Noto CJK's proportional digits in Latin text) would be copied
// and extracted as nothing.
QFont sheetFont(double points, bool bold = false)
{
    QFont f;
    f.setFamilies(kFontFamilies);
    f.setPointSizeF(points);
    f.setBold(bold);
    f.setStyleStrategy(QFont::PreferNoShaping);
    return f;
}

// Lays the sheet out in a document; lengths other than font sizes are in
// the layout's logical pixels, 96 to the inch whatever the device.
class Layout {
public:
    Layout(QTextDocument &doc, double scale) : m_cursor(&doc), m_scale(scale) {}

    bool marked = false; // some text holds a character no keypad gives

    QTextCharFormat text(double points = kBodyPoints, bool bold = false) const
    {
        QTextCharFormat f;
        f.setFont(sheetFont(points * m_scale, bold));
        return f;
    }

    // A new paragraph after spaceBefore points.
    void paragraph(double spaceBefore, const QString &content) { paragraph(spaceBefore, content, text()); }
    void paragraph(double spaceBefore, const QString &content, const QTextCharFormat &format)
    {
        QTextBlockFormat block;
        block.setTopMargin(pixels(spaceBefore));
        // The document's first block, and the one after a table, are there already.
        if (m_blockUsed)
            m_cursor.insertBlock(block);
        else
            m_cursor.setBlockFormat(block);
        m_blockUsed = true;
        m_cursor.insertText(content, format);
    }

    // A text exactly as the device holds it, on grey so that its spaces show;
    // a character no keypad gives shows as its code point, marked, and in a
    // command also a space that would not show.
    void exact(QTextCursor &at, const QString &value, Typing typing = Typing::Received)
    {
        QTextCharFormat plain = text();
        plain.setBackground(kExactBackground);
        QTextCharFormat mark = plain;
        mark.setForeground(kMarkColour);
        mark.setFontWeight(QFont::Bold);
        for (const TypedPiece &piece : typedPieces(value, typing)) {
            at.insertText(piece.typable ? piece.text : u'[' + piece.text + u']', piece.typable ? plain : mark);
            marked = marked || !piece.typable;
        }
    }

    // A table across the page with its columns' widths in percent; a
    // header row is bold on grey.
    QTextTable *table(double spaceBefore, int rows, const QVector<double> &widths, bool ruled, const QStringList &header = {})
    {
        QTextTableFormat f;
        f.setTopMargin(pixels(spaceBefore));
        QVector<QTextLength> columns;
        for (double w : widths)
            columns << QTextLength(QTextLength::PercentageLength, w);
        f.setColumnWidthConstraints(columns);
        f.setWidth(QTextLength(QTextLength::PercentageLength, 100));
        f.setCellSpacing(0);
        f.setCellPadding(pixels(ruled ? 3 : 1.5));
        f.setBorder(ruled ? pixels(0.75) : 0);
        f.setBorderStyle(QTextFrameFormat::BorderStyle_Solid);
        f.setBorderBrush(Qt::black);
        QTextTable *t = m_cursor.insertTable(rows + (header.isEmpty() ? 0 : 1), static_cast<int>(widths.size()), f);
        for (int c = 0; c < header.size(); ++c) {
            QTextTableCell cell = t->cellAt(0, c);
            QTextCharFormat shaded = cell.format();
            shaded.setBackground(QColor(0xF0, 0xF0, 0xF0));
            cell.setFormat(shaded);
            cell.firstCursorPosition().insertText(header[c], text(kBodyPoints, true));
        }
        m_cursor.movePosition(QTextCursor::End);
        m_blockUsed = false;
        return t;
    }

private:
    double pixels(double points) const { return points * m_scale * 96 / 72; }

    QTextCursor m_cursor;
    double m_scale;
    bool m_blockUsed = false;
};

QString lineToWriteOn() { return QString(24, u'_'); }

void writeHead(Layout &out, const Header &h)
{
    out.paragraph(0, tr("短信报警控制器交接单"), out.text(kTitlePoints, true));
    QTextTable *t = out.table(6, 2, {62, 38}, false);
    auto put = [&](int row, int column, const QString &caption, const QString &value) {
        t->cellAt(row, column).firstCursorPosition().insertText(captioned(caption, value), out.text());
    };
    put(0, 0, tr("安装地点"), h.site.isEmpty() ? lineToWriteOn() : h.site);
    put(0, 1, tr("日期"), h.date.toString(Qt::ISODate));
    put(1, 0, tr("控制器SIM卡号码"), h.sim.isEmpty() ? lineToWriteOn() : h.sim);
    if (!h.firmware.isEmpty())
        put(1, 1, tr("固件版本"), h.firmware);
}

void writeSwitching(Layout &out, const params::ParameterSet &set, const params::DeviceReading *reading)
{
    using params::FieldId;
    out.paragraph(10, tr("开关控制"), out.text(kHeadingPoints, true));
    out.paragraph(3, tr("向控制器的SIM卡号码发送灰底的短信，一字不差：密码、“*”、空格和全角字符都照样输入。"));
    struct Row {
        FieldId command;
        int index;
        const QString *reply; // none for all-on and all-off: the device has no reply text of its own for them
    };
    std::vector<Row> rows;
    for (int r = 0; r < regmap::kRelayCount; ++r) {
        rows.push_back({FieldId::OnCommand, r, &set.relays[r].onReply});
        rows.push_back({FieldId::OffCommand, r, &set.relays[r].offReply});
    }
    rows.push_back({FieldId::AllOn, 0, nullptr});
    rows.push_back({FieldId::AllOff, 0, nullptr});
    QTextTable *t = out.table(4, static_cast<int>(rows.size()), {22, 39, 39}, true, {QString(), tr("发送的短信"), tr("回复的短信")});
    for (size_t i = 0; i < rows.size(); ++i) {
        const int row = static_cast<int>(i) + 1;
        const params::Field &command = params::field(rows[i].command, rows[i].index);
        t->cellAt(row, 0).firstCursorPosition().insertText(command.caption.text(), out.text());
        QTextCursor send = t->cellAt(row, 1).firstCursorPosition();
        out.exact(send, params::storedText(command, set, reading), Typing::Sent);
        if (rows[i].reply) {
            QTextCursor reply = t->cellAt(row, 2).firstCursorPosition();
            out.exact(reply, *rows[i].reply);
        }
    }
    // Left behind by a write stopped part-way, an SMS or another tool.
    if (params::commandPasswords(set, reading).size() > 1)
        out.paragraph(4, tr("注意：这些命令前的密码各不相同，请照灰底逐条发送。"));
    // As the window shows them: the device's own unit, so the sheet adds none.
    QStringList times;
    for (int r = 0; r < regmap::kRelayCount; ++r)
        times << captioned(params::field(FieldId::ActionTime, r).caption.text(), QString::number(set.relays[r].actionTime));
    out.paragraph(6, times.join(QStringLiteral("    ")));
}

void writeAlarms(Layout &out, const params::ParameterSet &set)
{
    using params::FieldId;
    out.paragraph(10, tr("报警"), out.text(kHeadingPoints, true));
    // An empty entry is an empty slot: the device calls only the numbers, in order.
    int shown = 0;
    for (int p = 0; p < set.phones.size() && p < regmap::kPhoneSlots; ++p) {
        if (set.phones[p].isEmpty())
            continue;
        ++shown;
        out.paragraph(shown == 1 ? 3 : 1, captioned(params::phoneCaption(shown - 1), set.phones[p]));
    }
    if (shown == 0)
        out.paragraph(3, tr("没有报警电话"));

    // What the device does with the mode the write sends: no choice is sent as both ways.
    const params::AlarmMode mode = params::modeFromChoice(
        fields::decodeAlarmMode(fields::encodeAlarmMode(params::modeChoice(set.alarmMode))));
    const bool onClosing = mode != params::AlarmMode::Opening, onOpening = mode != params::AlarmMode::Closing;
    const QString how = onClosing && onOpening ? tr("输入闭合和断开时都发送报警短信")
                        : onClosing            ? tr("输入闭合时发送报警短信")
                                               : tr("输入断开时发送报警短信");
    out.paragraph(6, captioned(params::field(FieldId::AlarmMode).caption.text(), how));
    QTextTable *t = out.table(3, regmap::kAlarmTexts, {30, 54, 16}, true, {QString(), tr("报警短信"), tr("是否发送")});
    for (int k = 0; k < regmap::kAlarmTexts; ++k) {
        t->cellAt(k + 1, 0).firstCursorPosition().insertText(params::field(FieldId::AlarmText, k).caption.text(), out.text());
        QTextCursor text = t->cellAt(k + 1, 1).firstCursorPosition();
        out.exact(text, set.alarmTexts[k]);
        const bool sent = regmap::alarmTextOnClosing(k) ? onClosing : onOpening;
        t->cellAt(k + 1, 2).firstCursorPosition().insertText(sent ? tr("发送") : tr("不发送"), out.text());
    }
    out.paragraph(6, captioned(params::field(FieldId::PhoneAlarm).caption.text(),
                               set.phoneAlarm ? tr("发送报警短信后拨打报警电话") : tr("不拨打电话")));
    if (out.marked)
        out.paragraph(8, tr("[U+…] 是看不出来或手机键盘无法输入的字符：设备中的文字在该处含有这个字符。"));
}

std::unique_ptr<QTextDocument> layOut(const params::ParameterSet &set, const Header &header,
                                      const params::DeviceReading *reading, QPdfWriter &writer, const QSizeF &page, double scale)
{
    auto doc = std::make_unique<QTextDocument>();
    doc->documentLayout()->setPaintDevice(&writer);
    doc->setDocumentMargin(0);
    doc->setPageSize(page);
    doc->setDefaultFont(sheetFont(kBodyPoints * scale));
    Layout out(*doc, scale);
    writeHead(out, header);
    writeSwitching(out, set, reading);
    writeAlarms(out, set);
    return doc;
}

} // namespace

QByteArray makePdf(const params::ParameterSet &set, const Header &header, const params::DeviceReading *reading)
{
    QByteArray pdf;
    QBuffer buffer(&pdf);
    buffer.open(QIODevice::WriteOnly);
    QPdfWriter writer(&buffer);
    writer.setPageLayout(QPageLayout(QPageSize(QPageSize::A4), QPageLayout::Portrait,
                                     QMarginsF(kMarginMm, kMarginMm, kMarginMm, kMarginMm), QPageLayout::Millimeter));
    writer.setTitle(tr("短信报警控制器交接单"));
    const QString madeBy = QStringLiteral("made by alarmcfg %1").arg(QStringLiteral(ALARMCFG_VERSION));
    writer.setCreator(madeBy);

    const QRectF area = writer.pageLayout().paintRectPixels(writer.resolution());
    const QFont footFont = sheetFont(kFootPoints);
    const double footHeight = QFontMetricsF(footFont, &writer).height() * 2;
    const QSizeF page(area.width(), area.height() - footHeight);

    std::unique_ptr<QTextDocument> doc;
    for (double scale = 1; !doc || (doc->pageCount() > 1 && scale >= kSmallestScale); scale -= kScaleStep)
        doc = layOut(set, header, reading, writer, page, scale);

    QPainter painter(&writer);
    doc->drawContents(&painter, QRectF(QPointF(0, 0), page));
    painter.setFont(footFont);
    painter.setPen(Qt::darkGray);
    painter.drawText(QRectF(0, page.height(), page.width(), footHeight), Qt::AlignLeft | Qt::AlignBottom, madeBy);
    painter.end();
    buffer.close();
    const std::vector<QRawFont> fonts{QRawFont::fromFont(sheetFont(kBodyPoints)), QRawFont::fromFont(sheetFont(kBodyPoints, true))};
    return withDrawnCharacters(pdf, doc->toRawText() + madeBy, fonts);
}

bool save(const QString &path, const QByteArray &pdf, safefile::Failure *failure)
{
    return safefile::write(path, pdf, QFileDevice::ReadOwner | QFileDevice::WriteOwner, failure);
}

} // namespace sheet
