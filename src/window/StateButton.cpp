#include "StateButton.h"

#include <QApplication>
#include <QStyleOptionButton>
#include <QStylePainter>

#include <map>

namespace {
const QPalette &fixedPalette(QRgb buttonColour)
{
    static std::map<QRgb, QPalette> palettes;
    auto it = palettes.find(buttonColour);
    if (it == palettes.end()) {
        QPalette palette = QApplication::palette();
        palette.setColor(QPalette::Button, QColor::fromRgba(buttonColour));
        it = palettes.emplace(buttonColour, palette).first;
    }
    return it->second;
}
} // namespace

void StateButton::paintEvent(QPaintEvent *)
{
    QStylePainter painter(this);
    QStyleOptionButton option;
    initStyleOption(&option);
    option.palette = fixedPalette(palette().color(QPalette::Button).rgba());
    painter.drawControl(QStyle::CE_PushButton, option);
}
