// Imaging devices in the registry of the Wine prefix the tests run in.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

extern const char* const kImageClassGuid; // "{6BDD1FC6-810F-11D0-BEC7-08002BE2092F}"

struct RegValue
{
    std::string name;
    DWORD type;
    std::string data; // raw bytes exactly as stored; strings as the A functions read them
};

RegValue RegSz(const std::string& name, const std::string& text); // text + NUL
RegValue RegRaw(const std::string& name, DWORD type, const std::string& bytes);
RegValue RegDword(const std::string& name, DWORD v);
RegValue RegMultiSz(const std::string& name, const std::vector<std::string>& items);

struct RegSubkey
{
    std::string path; // relative to the driver key, "" = the driver key, may be nested
    std::vector<RegValue> values;
};

struct TestDevice
{
    std::string enumKey;         // below HKLM\System\CurrentControlSet\Enum
    std::string driver;          // value "Driver"; empty = no Driver value
    bool hasDriverKey = true;    // create Control\Class\<driver> (only if driver is set)
    std::vector<RegSubkey> keys; // below the driver key; ignored without one
};

// enumKey "ROOT\IMAGE\<instance>", driver "<image class guid>\<instance>".
TestDevice ImageDevice(const std::string& instance, std::vector<RegSubkey> keys = {});

// Replaces any earlier enum key and driver key of the same names.
void AddDevice(const TestDevice& device);
void RemoveDevice(const TestDevice& device);

// Deletes Enum\ROOT\IMAGE, every other enum entry whose ClassGUID is the
// image class, and every subkey of the image class key except "Properties".
void RemoveAllImageDevices();

class CDeviceScope
{
public:
    explicit CDeviceScope(std::vector<TestDevice> devices);
    ~CDeviceScope();

    CDeviceScope(const CDeviceScope&) = delete;
    CDeviceScope& operator=(const CDeviceScope&) = delete;

    const std::vector<TestDevice>& Devices() const { return m_devices; }

private:
    std::vector<TestDevice> m_devices;
};
