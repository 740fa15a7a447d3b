#pragma once
// An in-process device behind the link interface: it answers from a register
// image, records every call and fails where a test tells it to.

#include "ModbusLink.h"

#include <QMap>
#include <QSet>
#include <functional>
#include <optional>
#include <vector>

class FakeLink : public ModbusLink {
    Q_OBJECT
public:
    struct Call {
        enum Kind { Open, Close, Read, WriteSingle, WriteBlock };
        Call(Kind k = Read, int s = 0, int c = 0, QVector<quint16> v = {}) : kind(k), start(s), count(c), values(std::move(v)) {}
        Kind kind;
        int start = 0;
        int count = 0;
        QVector<quint16> values;
        QString port;   // Open: the name the window chose or typed, "COM3"
        QString device; // Open: what the window resolved it to
    };

    FakeLink();

    void ClosePort() override;
    bool isOpen() const override { return m_open; }

    std::vector<quint16> image; // registers 0..1099, factory-fresh at first
    QVector<Call> calls;
    bool openSucceeds = true;
    std::optional<PortOpenFailure> openFailure; // set: the open fails, saying why
    bool silent = false;       // answers nothing
    int answerOnly = -1;       // answer this many more requests, then go silent (-1: no limit)
    QSet<int> failStarts;      // requests starting here are not answered
    QMap<int, int> failTimes;  // requests starting here go unanswered this many more times
    std::function<void(const Call &)> onRequest; // runs before the answer

    // Calls of one kind, and a compact "R710x10" / "W10x4" / "S5" trace of requests.
    QVector<Call> callsOf(Call::Kind kind) const;
    QStringList requestTrace() const;
    QString textAt(int start, int registers) const; // GBK text stored from start

protected:
    bool openDevice() override;
    LineAnswer transact(const LinkRequest &request, Waiting waiting) override;
    // The line doctor's reads, answered as slave 1 from the image, recorded as reads.
    RawExchange probeLine(const QByteArray &request, int waitMs) override;

private:
    bool answers(const Call &call);
    bool m_open = false;
};
