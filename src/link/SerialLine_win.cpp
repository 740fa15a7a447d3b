// The serial line on Windows: a COM port opened without sharing, which makes
// it this program's alone while open, read with comm timeouts, and left with
// the settings and time-outs it had. ClearCommError reports framing and
// parity errors and breaks as flags, cleared as they are read: each report
// is counted, so a count is how many looks at the port found one (at least
// one each). A named
// object held while the port is open tells another copy of the tool apart
// from other programs (Windows only says "access denied"; wine lets a second
// open through).
#include "SerialLine.h"

#include "ModbusRtu.h"

#include <windows.h>

#include <algorithm>

namespace {

class WinSerialLine : public SerialLine {
public:
    ~WinSerialLine() override { close(); }

    bool open(const QString &device, int baud, PortOpenFailure *failure) override
    {
        close();
        failure->device = device;
        if (baud <= 0) {
            failure->cause = PortOpenFailure::Cause::Other;
            failure->systemText = QStringLiteral("%1 baud is not a rate this system sets").arg(baud);
            return false;
        }
        if (!claim(device, failure))
            return false;
        const std::wstring path = device.toStdWString();
        // Share mode 0: no other program opens the port while we hold it, and
        // one that holds it already makes this open fail.
        HANDLE h = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        if (h == INVALID_HANDLE_VALUE) {
            const DWORD error = GetLastError();
            release();
            return fail(failure, error);
        }

        DCB dcb{};
        dcb.DCBlength = sizeof(dcb);
        COMMTIMEOUTS timeouts{};
        if (!GetCommState(h, &dcb) || !GetCommTimeouts(h, &timeouts)) {
            const DWORD error = GetLastError();
            CloseHandle(h);
            release();
            failure->cause = PortOpenFailure::Cause::NotADevice;
            failure->systemText = QStringLiteral("not a serial line (%1)").arg(systemText(error));
            return false;
        }
        // What the port had, for close() to put back.
        const DCB foundState = dcb;
        dcb.BaudRate = static_cast<DWORD>(baud);
        dcb.ByteSize = 8;
        dcb.Parity = NOPARITY;
        dcb.StopBits = ONESTOPBIT;
        dcb.fBinary = TRUE;
        dcb.fParity = FALSE;
        dcb.fOutxCtsFlow = FALSE;
        dcb.fOutxDsrFlow = FALSE;
        dcb.fDtrControl = DTR_CONTROL_ENABLE;
        dcb.fDsrSensitivity = FALSE;
        dcb.fOutX = FALSE;
        dcb.fInX = FALSE;
        dcb.fErrorChar = FALSE;
        dcb.fNull = FALSE;
        dcb.fRtsControl = RTS_CONTROL_ENABLE;
        dcb.fAbortOnError = FALSE;
        if (!SetCommState(h, &dcb)) {
            const DWORD error = GetLastError();
            CloseHandle(h);
            release();
            failure->cause = PortOpenFailure::Cause::Other;
            failure->systemText = error == ERROR_INVALID_PARAMETER
                                      ? QStringLiteral("%1 baud is not a rate this port sets").arg(baud)
                                      : systemText(error);
            return false;
        }
        m_handle = h;
        m_device = device;
        m_foundState = foundState;
        m_foundTimeouts = timeouts;
        m_baud = baud;
        m_readTimeoutMs = 0;
        if (!setReadTimeout(kDefaultReadMs)) {
            const DWORD error = GetLastError();
            close();
            return fail(failure, error);
        }
        PurgeComm(h, PURGE_RXABORT | PURGE_RXCLEAR | PURGE_TXABORT | PURGE_TXCLEAR);
        DWORD errors = 0;
        ClearCommError(h, &errors, nullptr);
        m_errors = LineErrors{};
        // The frame gap is a few milliseconds: without a finer system timer a
        // wait for it would take a whole default tick of about 15 ms.
        m_fineTimer = timeBeginPeriod(1) == TIMERR_NOERROR;
        return true;
    }

    void close() override
    {
        if (m_handle == INVALID_HANDLE_VALUE)
            return;
        // The port goes back as it was found, for the program that uses it next.
        SetCommState(m_handle, &m_foundState);
        SetCommTimeouts(m_handle, &m_foundTimeouts);
        CloseHandle(m_handle);
        m_handle = INVALID_HANDLE_VALUE;
        release();
        m_device.clear();
        if (m_fineTimer)
            timeEndPeriod(1);
        m_fineTimer = false;
    }

    bool isOpen() const override { return m_handle != INVALID_HANDLE_VALUE; }
    QString openedDevice() const override { return m_device; }

    int discardInput() override
    {
        if (m_handle == INVALID_HANDLE_VALUE)
            return 0;
        const int waiting = static_cast<int>(waitingBytes());
        PurgeComm(m_handle, PURGE_RXCLEAR);
        return waiting;
    }

    bool canSetFormat() const override { return true; }

    bool setFormat(const LineFormat &format, QString *error) override
    {
        DCB dcb{};
        dcb.DCBlength = sizeof(dcb);
        if (format.baud <= 0 || !GetCommState(m_handle, &dcb)) {
            *error = format.baud <= 0 ? QStringLiteral("%1 baud is not a rate this system sets").arg(format.baud)
                                      : systemText(GetLastError());
            return false;
        }
        dcb.BaudRate = static_cast<DWORD>(format.baud);
        dcb.Parity = format.parity == Parity::Even ? EVENPARITY : format.parity == Parity::Odd ? ODDPARITY : NOPARITY;
        dcb.fParity = format.parity != Parity::None;
        if (!SetCommState(m_handle, &dcb)) {
            *error = systemText(GetLastError());
            return false;
        }
        // The write time-out follows the rate.
        m_baud = format.baud;
        m_readTimeoutMs = 0;
        setReadTimeout(kDefaultReadMs);
        PurgeComm(m_handle, PURGE_RXCLEAR | PURGE_TXCLEAR);
        return true;
    }

    std::optional<LineErrors> errorCounts() override
    {
        waitingBytes(); // the flags of the last moments too
        return m_errors;
    }

    bool send(const QByteArray &bytes, QString *error) override
    {
        qsizetype done = 0;
        while (done < bytes.size()) {
            DWORD written = 0;
            if (!WriteFile(m_handle, bytes.constData() + done, static_cast<DWORD>(bytes.size() - done), &written, nullptr)) {
                *error = systemText(GetLastError());
                return false;
            }
            if (written == 0) {
                *error = QStringLiteral("the line took no bytes");
                return false;
            }
            done += written;
        }
        return true;
    }

    QByteArray receive(int maxBytes, std::chrono::microseconds timeout, QString *error) override
    {
        QByteArray bytes(maxBytes, Qt::Uninitialized);
        DWORD got = 0;
        if (waitingBytes() == 0) {
            // The first byte alone: wine ends a read only when its count is
            // met or its time-out is over, so a longer read would wait it out.
            // Whole milliseconds, rounded up: never shorter than asked.
            const long long ms = std::max<long long>(1, (timeout.count() + 999) / 1000);
            if (!setReadTimeout(static_cast<DWORD>(std::min<long long>(ms, MAXDWORD - 1))) ||
                !ReadFile(m_handle, bytes.data(), 1, &got, nullptr)) {
                *error = systemText(GetLastError());
                return {};
            }
            if (got == 0)
                return {};
        }
        // What has arrived comes at once: the read asks for no more than is there.
        const DWORD more = std::min<DWORD>(waitingBytes(), static_cast<DWORD>(maxBytes) - got);
        DWORD read = 0;
        if (more > 0 && !ReadFile(m_handle, bytes.data() + got, more, &read, nullptr)) {
            *error = systemText(GetLastError());
            return {};
        }
        bytes.resize(got + read);
        return bytes;
    }

private:
    static constexpr DWORD kDefaultReadMs = 50;

    // Refused while another copy of the tool has the device open: its named
    // event exists then. Object names hold no backslash past the prefix.
    bool claim(const QString &device, PortOpenFailure *failure)
    {
        QString name = device.toUpper();
        name.replace(u'\\', u'_');
        const std::wstring object = (QStringLiteral("Local\\alarmcfg-port-") + name).toStdWString();
        m_claim = CreateEventW(nullptr, TRUE, FALSE, object.c_str());
        if (!m_claim)
            return fail(failure, GetLastError());
        if (GetLastError() == ERROR_ALREADY_EXISTS) {
            release();
            failure->cause = PortOpenFailure::Cause::LockedByAlarmcfg;
            failure->systemText = QStringLiteral("held by another copy of alarmcfg");
            return false;
        }
        return true;
    }

    void release()
    {
        if (m_claim)
            CloseHandle(m_claim);
        m_claim = nullptr;
    }

    // What has arrived and not been read; the error flags it reports are counted.
    DWORD waitingBytes()
    {
        DWORD errors = 0;
        COMSTAT status{};
        if (!ClearCommError(m_handle, &errors, &status))
            return 0;
        m_errors.framing += (errors & CE_FRAME) ? 1 : 0;
        m_errors.parity += (errors & CE_RXPARITY) ? 1 : 0;
        m_errors.breaks += (errors & CE_BREAK) ? 1 : 0;
        return status.cbInQue;
    }

    static bool fail(PortOpenFailure *failure, DWORD error)
    {
        failure->cause = causeOf(error);
        failure->systemText = systemText(error);
        return false;
    }

    // A read returns at once with what has arrived, waits for the first byte
    // when nothing has, and gives up after ms. Set again only when ms changes.
    bool setReadTimeout(DWORD ms)
    {
        if (ms == m_readTimeoutMs)
            return true;
        COMMTIMEOUTS timeouts{};
        timeouts.ReadIntervalTimeout = MAXDWORD;
        timeouts.ReadTotalTimeoutMultiplier = MAXDWORD;
        timeouts.ReadTotalTimeoutConstant = ms;
        // A frame of at most 256 bytes is written whole or fails, even at a slow rate.
        timeouts.WriteTotalTimeoutMultiplier = static_cast<DWORD>(rtu::characterTime(m_baud).count() / 1000 + 1);
        timeouts.WriteTotalTimeoutConstant = 1000;
        if (!SetCommTimeouts(m_handle, &timeouts))
            return false;
        m_readTimeoutMs = ms;
        return true;
    }

    HANDLE m_handle = INVALID_HANDLE_VALUE;
    HANDLE m_claim = nullptr;
    QString m_device;
    DCB m_foundState{};            // the port's settings when it was opened
    COMMTIMEOUTS m_foundTimeouts{}; // and its time-outs
    int m_baud = 0;
    DWORD m_readTimeoutMs = 0;
    bool m_fineTimer = false;
    LineErrors m_errors; // the flags ClearCommError reported since the port opened, each counted
};

} // namespace

std::unique_ptr<SerialLine> SerialLine::createSerial()
{
    return std::make_unique<WinSerialLine>();
}

OpenAdvice SerialLine::adviceFor(PortOpenFailure::Cause cause)
{
    switch (cause) {
    case PortOpenFailure::Cause::Busy: return OpenAdvice::CloseOtherProgram;
    case PortOpenFailure::Cause::NoDriver: return OpenAdvice::InstallAdapterDriver;
    default: return OpenAdvice::None;
    }
}

QString SerialLine::systemText(long systemError)
{
    wchar_t *buffer = nullptr;
    const DWORD length = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                        nullptr, static_cast<DWORD>(systemError), 0, reinterpret_cast<LPWSTR>(&buffer), 0, nullptr);
    QString text = length ? QString::fromWCharArray(buffer, static_cast<int>(length)).trimmed() : QString();
    LocalFree(buffer);
    if (text.isEmpty())
        return QStringLiteral("system error %1").arg(systemError);
    return QStringLiteral("%1 (error %2)").arg(text).arg(systemError);
}

PortOpenFailure::Cause SerialLine::causeOf(long systemError)
{
    switch (systemError) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_DEV_NOT_EXIST:
    case ERROR_DEVICE_NOT_CONNECTED:
        return PortOpenFailure::Cause::NoDevice;
    // A COM port open elsewhere refuses a second open with either.
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_BUSY:
        return PortOpenFailure::Cause::Busy;
    // Windows knows the port, but no working driver stands behind it.
    case ERROR_GEN_FAILURE:
    case ERROR_DEVICE_NOT_AVAILABLE:
        return PortOpenFailure::Cause::NoDriver;
    case ERROR_INVALID_NAME:
    case ERROR_INVALID_FUNCTION:
        return PortOpenFailure::Cause::NotADevice;
    default:
        return PortOpenFailure::Cause::Other;
    }
}
