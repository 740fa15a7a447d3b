// The places are drawn for the Chinese captions. A caption that does not fit
// its place (an English one, or a wider font) takes the room beside its
// control that no other control takes: to the right, and a button, whose
// caption stands in its middle, to the left as well. A caption that fits
// leaves its control where the twips put it.
#include "FormMain.h"

#include <QAbstractButton>
#include <QLabel>
#include <QPushButton>
#include <QStyle>

#include <algorithm>

namespace {

constexpr int kGap = 2; // pixels kept free between two controls, and inside a frame's border

// A button's caption needs the room inside its frame; a box's or a label's
// what the style asks for, the check mark included.
int neededWidth(const QWidget *w)
{
    if (const auto *button = qobject_cast<const QPushButton *>(w))
        return button->fontMetrics().horizontalAdvance(button->text())
               + 2 * (button->style()->pixelMetric(QStyle::PM_DefaultFrameWidth) + 1);
    return w->sizeHint().width();
}

} // namespace

void FormMain::FitCaption(QWidget *control)
{
    const int needed = neededWidth(control);
    QRect place = control->geometry();
    if (needed <= place.width() || !control->parentWidget())
        return;
    int left = kGap;
    int right = control->parentWidget()->width() - kGap;
    for (const QWidget *other : control->parentWidget()->findChildren<QWidget *>(Qt::FindDirectChildrenOnly)) {
        const QRect r = other->geometry();
        if (other == control || r.intersects(place) || r.bottom() < place.top() || r.top() > place.bottom())
            continue; // only a neighbour in the same row limits the room
        if (r.left() > place.right())
            right = std::min(right, r.left() - kGap);
        else
            left = std::max(left, r.right() + 1 + kGap);
    }
    const int toRight = std::clamp(needed - place.width(), 0, std::max(0, right - place.right() - 1));
    place.setRight(place.right() + toRight);
    const bool centred = qobject_cast<QPushButton *>(control) != nullptr;
    const int toLeft = centred ? std::clamp(needed - place.width(), 0, std::max(0, place.left() - left)) : 0;
    place.setLeft(place.left() - toLeft);
    control->setGeometry(place);
}

void FormMain::FitCaptions()
{
    for (QWidget *control : findChildren<QWidget *>()) {
        const auto *label = qobject_cast<QLabel *>(control);
        if ((qobject_cast<QAbstractButton *>(control) || label) && !(label && label->wordWrap()))
            FitCaption(control);
    }
}
