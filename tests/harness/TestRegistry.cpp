#include "TestRegistry.h"

#include <gtest/gtest.h>

const char* const kImageClassGuid = "{6BDD1FC6-810F-11D0-BEC7-08002BE2092F}";

namespace
{

const char kEnumRoot[] = "System\\CurrentControlSet\\Enum";
const char kClassRoot[] = "System\\CurrentControlSet\\Control\\Class";

std::string Join(const std::string& a, const std::string& b)
{
    if (a.empty())
        return b;
    if (b.empty())
        return a;
    return a + "\\" + b;
}

bool EqualsNoCase(const std::string& a, const std::string& b)
{
    return lstrcmpiA(a.c_str(), b.c_str()) == 0;
}

// Through the 64-bit view, as a 64-bit driver installer writes them: a
// 32-bit exe on a 64-bit Windows must read the same keys (a 32-bit Windows
// has one view and ignores the flag).
HKEY CreateKey(const std::string& path)
{
    HKEY hKey = nullptr;
    LONG rc = RegCreateKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS | KEY_WOW64_64KEY,
                              nullptr, &hKey, nullptr);
    if (rc != ERROR_SUCCESS)
    {
        ADD_FAILURE() << "RegCreateKeyExA(HKLM\\" << path << ") failed: " << rc;
        return nullptr;
    }
    return hKey;
}

std::wstring Widen(const std::string& text)
{
    if (text.empty())
        return std::wstring();
    const int size = static_cast<int>(text.size());
    int len = MultiByteToWideChar(CP_ACP, 0, text.data(), size, nullptr, 0);
    std::wstring wide(len, L'\0');
    MultiByteToWideChar(CP_ACP, 0, text.data(), size, &wide[0], len);
    return wide;
}

bool IsStringType(DWORD type)
{
    return type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ;
}

// RegSetValueEx counts one more character for a string that does not end
// in NUL when a NUL follows the buffer (NT does so too). A non-NUL after
// the data keeps an unterminated string unterminated.
void SetValue(HKEY hKey, const std::string& keyPath, const RegValue& value)
{
    const std::wstring name = Widen(value.name);
    std::wstring wide;
    const BYTE* data = reinterpret_cast<const BYTE*>(value.data.data());
    DWORD cb = static_cast<DWORD>(value.data.size());
    if (IsStringType(value.type))
    {
        wide = Widen(value.data) + L'X';
        data = reinterpret_cast<const BYTE*>(wide.data());
        cb = static_cast<DWORD>((wide.size() - 1) * sizeof(wchar_t));
    }
    LONG rc = RegSetValueExW(hKey, name.c_str(), 0, value.type, data, cb);
    if (rc != ERROR_SUCCESS)
        ADD_FAILURE() << "RegSetValueExW(HKLM\\" << keyPath << ", " << value.name << ") failed: " << rc;
}

void DeleteTree(const std::string& path)
{
    LONG rc = RegDeleteTreeA(HKEY_LOCAL_MACHINE, path.c_str());
    if (rc != ERROR_SUCCESS && rc != ERROR_FILE_NOT_FOUND)
        ADD_FAILURE() << "RegDeleteTreeA(HKLM\\" << path << ") failed: " << rc;
}

std::vector<std::string> SubkeyNames(const std::string& path)
{
    std::vector<std::string> names;
    HKEY hKey = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, &hKey) != ERROR_SUCCESS)
        return names;
    for (DWORD i = 0;; ++i)
    {
        char name[256];
        DWORD cch = sizeof(name);
        if (RegEnumKeyExA(hKey, i, name, &cch, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            break;
        names.emplace_back(name, cch);
    }
    RegCloseKey(hKey);
    return names;
}

bool HasImageClassGuid(const std::string& path)
{
    char guid[64] = {};
    DWORD cb = sizeof(guid) - 1;
    DWORD type = 0;
    HKEY hKey = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_QUERY_VALUE, &hKey) != ERROR_SUCCESS)
        return false;
    LONG rc = RegQueryValueExA(hKey, "ClassGUID", nullptr, &type, reinterpret_cast<BYTE*>(guid), &cb);
    RegCloseKey(hKey);
    return rc == ERROR_SUCCESS && type == REG_SZ && EqualsNoCase(guid, kImageClassGuid);
}

} // namespace

RegValue RegSz(const std::string& name, const std::string& text)
{
    return RegValue{name, REG_SZ, text + '\0'};
}

RegValue RegRaw(const std::string& name, DWORD type, const std::string& bytes)
{
    return RegValue{name, type, bytes};
}

RegValue RegDword(const std::string& name, DWORD v)
{
    std::string bytes(4, '\0');
    for (int i = 0; i < 4; ++i)
        bytes[i] = static_cast<char>((v >> (8 * i)) & 0xFF);
    return RegValue{name, REG_DWORD, bytes};
}

RegValue RegMultiSz(const std::string& name, const std::vector<std::string>& items)
{
    std::string bytes;
    for (const std::string& item : items)
        bytes += item + '\0';
    bytes += '\0';
    return RegValue{name, REG_MULTI_SZ, bytes};
}

TestDevice ImageDevice(const std::string& instance, std::vector<RegSubkey> keys)
{
    TestDevice device;
    device.enumKey = "ROOT\\IMAGE\\" + instance;
    device.driver = std::string(kImageClassGuid) + "\\" + instance;
    device.keys = std::move(keys);
    return device;
}

void AddDevice(const TestDevice& device)
{
    if (device.enumKey.empty())
    {
        ADD_FAILURE() << "AddDevice: empty enum key";
        return;
    }

    const std::string enumPath = Join(kEnumRoot, device.enumKey);
    DeleteTree(enumPath);
    if (HKEY hKey = CreateKey(enumPath))
    {
        SetValue(hKey, enumPath, RegSz("ClassGUID", kImageClassGuid));
        if (!device.driver.empty())
            SetValue(hKey, enumPath, RegSz("Driver", device.driver));
        RegCloseKey(hKey);
    }

    if (device.driver.empty() || !device.hasDriverKey)
        return;

    const std::string driverPath = Join(kClassRoot, device.driver);
    DeleteTree(driverPath);
    if (HKEY hKey = CreateKey(driverPath))
        RegCloseKey(hKey);
    for (const RegSubkey& sub : device.keys)
    {
        const std::string path = Join(driverPath, sub.path);
        HKEY hKey = CreateKey(path);
        if (!hKey)
            continue;
        for (const RegValue& value : sub.values)
            SetValue(hKey, path, value);
        RegCloseKey(hKey);
    }
}

void RemoveDevice(const TestDevice& device)
{
    if (!device.enumKey.empty())
        DeleteTree(Join(kEnumRoot, device.enumKey));
    if (!device.driver.empty() && device.hasDriverKey)
        DeleteTree(Join(kClassRoot, device.driver));
}

void RemoveAllImageDevices()
{
    const std::string enumRoot = kEnumRoot;
    DeleteTree(enumRoot + "\\ROOT\\IMAGE");

    // SetupDi lists Enum\<enumerator>\<device>\<instance>.
    for (const std::string& enumerator : SubkeyNames(enumRoot))
    {
        const std::string enumeratorPath = Join(enumRoot, enumerator);
        for (const std::string& dev : SubkeyNames(enumeratorPath))
        {
            const std::string devPath = Join(enumeratorPath, dev);
            for (const std::string& instance : SubkeyNames(devPath))
            {
                const std::string instancePath = Join(devPath, instance);
                if (HasImageClassGuid(instancePath))
                    DeleteTree(instancePath);
            }
        }
    }

    const std::string classPath = Join(kClassRoot, kImageClassGuid);
    for (const std::string& name : SubkeyNames(classPath))
    {
        if (!EqualsNoCase(name, "Properties"))
            DeleteTree(Join(classPath, name));
    }
}

CDeviceScope::CDeviceScope(std::vector<TestDevice> devices) : m_devices(std::move(devices))
{
    for (const TestDevice& device : m_devices)
        AddDevice(device);
}

CDeviceScope::~CDeviceScope()
{
    for (auto it = m_devices.rbegin(); it != m_devices.rend(); ++it)
        RemoveDevice(*it);
}
