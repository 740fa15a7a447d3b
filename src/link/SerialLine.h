#pragma once
// One serial line, held by this program alone while it is open: everything
// the link does that touches the operating system. A serial device has one
// file for each platform (SerialLine_linux.cpp, SerialLine_win.cpp), chosen by
// the build; a port behind a serial device server is a network line
// (TcpLine, Rfc2217Line). The Modbus exchange on top of it is the same for all.

#include "ModbusLink.h"

#include <QByteArray>
#include <QString>

#include <chrono>
#include <memory>
#include <optional>

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

    // What a network line changes for the link; a serial line keeps the defaults.
    // Whether the bytes of one frame may come in pieces far apart, and two
    // frames in one piece: then no pause ends a frame, only its length and CRC.
    virtual bool streamed() const { return false; }
    // The round trip to the far end, measured when the line opened, bounded:
    // each reply gets that much longer than its time-out.
    virtual std::chrono::microseconds roundTrip() const { return std::chrono::microseconds::zero(); }
    // How often the connection dropped since the line opened (each time it
    // is made again at once): whatever was on its way then is lost, or may
    // come on the new connection, so the link takes each as a departure.
    virtual quint64 reconnections() const { return 0; }
    // Where the open line leads when that is not the device itself: the
    // server's address and port, as connected to.
    virtual QString peerAddress() const { return QString(); }

    // For the line doctor. Sets the open line's rate and parity (8 data bits,
    // 1 stop bit); false with *error set when this line cannot. A raw TCP
    // port cannot: the server's serial line is set at the server.
    virtual bool canSetFormat() const { return false; }
    virtual bool setFormat(const LineFormat &format, QString *error)
    {
        Q_UNUSED(format)
        *error = QStringLiteral("this line's rate is not set from here");
        return false;
    }
    // The framing errors, parity errors and breaks the driver counted since
    // the line opened; nothing where the line has no such counts (a
    // pseudo-terminal, a network line).
    virtual std::optional<LineErrors> errorCounts() { return std::nullopt; }

    // The line for any port name: open() makes it a network line for a
    // tcp:// or rfc2217:// name (PortLine.cpp), the platform's serial line
    // for anything else.
    static std::unique_ptr<SerialLine> create();
    // The platform's serial line.
    static std::unique_ptr<SerialLine> createSerial();

    // The platform's advice for a cause.
    static OpenAdvice adviceFor(PortOpenFailure::Cause cause);
    // An open's system error (errno, or GetLastError() on Windows) as a cause,
    // and in the system's own words.
    static PortOpenFailure::Cause causeOf(long systemError);
    static QString systemText(long systemError);
};
