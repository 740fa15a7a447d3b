#include "WindowTimer.h"

WindowTimer::WindowTimer(QObject *parent) : QObject(parent)
{
    connect(&m_timer, &QTimer::timeout, this, &WindowTimer::Tick);
}

void WindowTimer::setInterval(int ms)
{
    m_interval = ms;
    update();
}

void WindowTimer::setEnabled(bool enabled)
{
    m_enabled = enabled;
    update();
}

void WindowTimer::update()
{
    if (m_enabled && m_interval > 0) {
        if (!m_timer.isActive() || m_timer.interval() != m_interval)
            m_timer.start(m_interval);
    } else {
        m_timer.stop();
    }
}
