#pragma once
// A relay or input button that shows its state by its background colour.
//
// The style caches the drawing of a button under the identity of the palette
// it is drawn with, and a widget palette is resolved anew on every change. A
// state that flips every second would add a cache entry every second, so the
// button draws with one fixed palette per colour instead.

#include <QPushButton>

class StateButton : public QPushButton {
    Q_OBJECT
public:
    using QPushButton::QPushButton;

protected:
    void paintEvent(QPaintEvent *event) override;
};
