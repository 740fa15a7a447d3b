// The serial ports of a Windows system: SetupAPI's Ports device class gives
// each COM port its friendly name and hardware IDs. wine lists no such
// devices, so the registry's SERIALCOMM map, which every serial driver fills,
// stands in when SetupAPI has nothing.
#include "SystemPorts.h"

#include <windows.h>
#include <devguid.h>
#include <setupapi.h>

#include <vector>

namespace ports {

namespace {

QString registryText(HKEY key, const wchar_t *name)
{
    DWORD type = 0;
    DWORD bytes = 0;
    if (RegQueryValueExW(key, name, nullptr, &type, nullptr, &bytes) != ERROR_SUCCESS || type != REG_SZ || bytes == 0)
        return QString();
    std::vector<wchar_t> value(bytes / sizeof(wchar_t) + 1, L'\0');
    if (RegQueryValueExW(key, name, nullptr, nullptr, reinterpret_cast<BYTE *>(value.data()), &bytes) != ERROR_SUCCESS)
        return QString();
    return QString::fromWCharArray(value.data());
}

QString deviceProperty(HDEVINFO set, SP_DEVINFO_DATA &device, DWORD property)
{
    DWORD bytes = 0;
    SetupDiGetDeviceRegistryPropertyW(set, &device, property, nullptr, nullptr, 0, &bytes);
    if (bytes == 0)
        return QString();
    std::vector<BYTE> value(bytes + sizeof(wchar_t), 0);
    if (!SetupDiGetDeviceRegistryPropertyW(set, &device, property, nullptr, value.data(), bytes, nullptr))
        return QString();
    // A multi-string (the hardware IDs) gives its first string, the most detailed.
    return QString::fromWCharArray(reinterpret_cast<const wchar_t *>(value.data()));
}

QString instanceId(HDEVINFO set, SP_DEVINFO_DATA &device)
{
    DWORD chars = 0;
    SetupDiGetDeviceInstanceIdW(set, &device, nullptr, 0, &chars);
    if (chars == 0)
        return QString();
    std::vector<wchar_t> id(chars + 1, L'\0');
    if (!SetupDiGetDeviceInstanceIdW(set, &device, id.data(), chars, nullptr))
        return QString();
    return QString::fromWCharArray(id.data());
}

QList<SystemPort> portsClass()
{
    QList<SystemPort> present;
    HDEVINFO set = SetupDiGetClassDevsW(&GUID_DEVCLASS_PORTS, nullptr, nullptr, DIGCF_PRESENT);
    if (set == INVALID_HANDLE_VALUE)
        return present;
    SP_DEVINFO_DATA device{};
    device.cbSize = sizeof(device);
    for (DWORD i = 0; SetupDiEnumDeviceInfo(set, i, &device); ++i) {
        // The Ports class holds printer ports too: only a COM name makes a serial port.
        QString name;
        if (HKEY key = SetupDiOpenDevRegKey(set, &device, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_READ);
            key != INVALID_HANDLE_VALUE) {
            name = registryText(key, L"PortName");
            RegCloseKey(key);
        }
        if (!name.startsWith(QLatin1String("COM"), Qt::CaseInsensitive))
            continue;
        present << windowsPort(name, deviceProperty(set, device, SPDRP_FRIENDLYNAME), deviceProperty(set, device, SPDRP_MFG),
                               deviceProperty(set, device, SPDRP_HARDWAREID), instanceId(set, device));
    }
    SetupDiDestroyDeviceInfoList(set);
    return present;
}

// HKLM\HARDWARE\DEVICEMAP\SERIALCOMM: one value per port, "\Device\Serial0" = "COM1".
QList<SystemPort> serialCommMap()
{
    QList<SystemPort> present;
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, KEY_READ, &key) != ERROR_SUCCESS)
        return present;
    for (DWORD i = 0;; ++i) {
        wchar_t valueName[256];
        DWORD nameChars = 256;
        wchar_t data[256] = {};
        DWORD dataBytes = sizeof(data) - sizeof(wchar_t);
        DWORD type = 0;
        const LONG result = RegEnumValueW(key, i, valueName, &nameChars, nullptr, &type, reinterpret_cast<BYTE *>(data), &dataBytes);
        if (result == ERROR_NO_MORE_ITEMS)
            break;
        if (result != ERROR_SUCCESS || type != REG_SZ)
            continue;
        const QString name = QString::fromWCharArray(data);
        if (name.startsWith(QLatin1String("COM"), Qt::CaseInsensitive))
            present << windowsPort(name, QString(), QString(), QString(), QString());
    }
    RegCloseKey(key);
    return present;
}

} // namespace

Platform thisPlatform()
{
    return Platform::Windows;
}

QList<SystemPort> listSystemPorts()
{
    QList<SystemPort> present = portsClass();
    return present.isEmpty() ? serialCommMap() : present;
}

bool devicePresent(const QList<SystemPort> &present, const QString &device)
{
    return findPort(present, device).has_value();
}

QString linkTarget(const QString &)
{
    return QString();
}

} // namespace ports
