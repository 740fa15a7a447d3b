#pragma once
// One serial device, held by this program alone while it is open: everything
// the link does that touches the operating system. Each platform has its own
// file (SerialLine_linux.cpp, SerialLine_win.cpp), chosen by the build; the
// Modbus exchange on top of it is the same everywhere.

#include "ModbusLink.h"

#include <QByteArray>
#include <QString>

#include <chrono>
#include <memory>

// What the operator can do about a port that did not open, beyond what its
// cause says: the advice differs between the platforms.
enum class OpenAdvice {
    None,
    JoinDialoutGroup,     // Linux: serial devices belong to the dialout group
    CloseOtherProgram,    // Windows: a port is one program's at a time
    InstallAdapterDriver, // Windows: USB serial chips need their vendor's driver
};

class SerialLine {
public:
    virtual ~SerialLine() = default;

    // Opens device at baud, 8N1, no flow control, and claims it: a device
    // that another program holds is refused before its settings are touched.
    // On failure *failure says why (its cause, device, system text, holders).
    virtual bool open(const QString &device, int baud, PortOpenFailure *failure) = 0;
    // Puts back the settings the line had when it was opened, and lets it go.
    virtual void close() = 0;
    virtual bool isOpen() const = 0;
    // The device as opened (on POSIX with symbolic links resolved).
    virtual QString openedDevice() const = 0;

    // Drops whatever has been received and not read; returns how many bytes
    // were dropped (0 when the system cannot tell).
    virtual int discardInput() = 0;
    // Sends all of bytes; false with *error set when the line refused them.
    virtual bool send(const QByteArray &bytes, QString *error) = 0;
    // Waits up to timeout for at least one byte, then returns every byte that
    // has arrived, at most maxBytes. Empty when nothing came in time; empty
    // with *error set when the line failed (an adapter pulled out).
    virtual QByteArray receive(int maxBytes, std::chrono::microseconds timeout, QString *error) = 0;

    // The platform's line.
    static std::unique_ptr<SerialLine> create();

    // The platform's advice for a cause.
    static OpenAdvice adviceFor(PortOpenFailure::Cause cause);
    // An open's system error (errno, or GetLastError() on Windows) as a cause,
    // and in the system's own words.
    static PortOpenFailure::Cause causeOf(long systemError);
    static QString systemText(long systemError);
};
