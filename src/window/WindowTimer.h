#pragma once
// A window timer that ticks only while it is enabled and has an interval, the
// way the form's timers always behaved: enabling one with no interval does
// nothing, and the interval survives disabling.

#include <QObject>
#include <QTimer>

class WindowTimer : public QObject {
    Q_OBJECT
public:
    explicit WindowTimer(QObject *parent = nullptr);

    void setInterval(int ms);
    int interval() const { return m_interval; }
    void setEnabled(bool enabled);
    bool isEnabled() const { return m_enabled; }
    // Enabled with an interval: ticks will come.
    bool isTicking() const { return m_timer.isActive(); }

signals:
    void Tick();

private:
    void update();

    QTimer m_timer;
    int m_interval = 0;
    bool m_enabled = false;
};
