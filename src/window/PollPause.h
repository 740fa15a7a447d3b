#pragma once
// Holds the status poll and the link time-out while a box that may lead to
// more exchanges is open: a box runs its own event loop, and a poll that went
// unanswered meanwhile would end the connection the box's button still needs.

#include "WindowTimer.h"

class PollPause {
public:
    PollPause(WindowTimer *poll, WindowTimer *timeout, const bool &connected)
        : m_poll(poll), m_timeout(timeout), m_connected(connected)
    {
        m_poll->setEnabled(false);
        m_timeout->setEnabled(false);
    }
    ~PollPause()
    {
        if (m_connected)
            m_poll->setEnabled(true);
    }
    PollPause(const PollPause &) = delete;
    PollPause &operator=(const PollPause &) = delete;

private:
    WindowTimer *m_poll;
    WindowTimer *m_timeout;
    const bool &m_connected;
};
