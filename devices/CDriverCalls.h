#ifndef TIRN_DEVICES_CDRIVERCALLS_H
#define TIRN_DEVICES_CDRIVERCALLS_H

#include "devices/CDevInfoSet.h"

#include <string>
#include <vector>

class CLogger;
class CRegKey;

// The device information set of the Image class and a walk over it. The
// walk keeps the device it stands on: its users ask it about that device.
class CDriverCalls
{
public:
    static constexpr int kPropertySize = 260;
    static constexpr int kMaxFailingIndex = 1000;

    CDriverCalls();
    virtual ~CDriverCalls();

    CDriverCalls(const CDriverCalls&) = delete;
    CDriverCalls& operator=(const CDriverCalls&) = delete;

    // Moves to the next device of the set; false when the walk is over.
    bool EnumImagingDevices(bool bLog, CLogger* logger);
    // The current device's instance number, the last part of its driver
    // key name.
    bool GetDriverInstance(char* buffer, int bufferSize, bool bLog, CLogger* logger);

    // The next walk starts again at the first device.
    void RestartWalk() { m_idx = 0; }
    // Asks the platform all that a walk would, so that the walks after it
    // are answered from memory, without a platform call between their lines.
    void LearnDevices();
    bool HasDeviceSet() const { return m_DevInfo.IsValid(); }
    // The error of the call that could not make the device set.
    DWORD DeviceSetError() const { return m_dwSetError; }
    // False when a walk met an index or a driver key name that the platform
    // could not read: a device not found may then still be installed.
    bool IsListComplete() const;
    // The current device's driver (software) key, read-only; a failure is
    // logged.
    bool OpenDriverKey(CRegKey* pKey, bool bLog, CLogger* logger) const;

private:
    // What one index of the set gave. The set is made once and never
    // refreshed, so every index asked once is answered from here later, with
    // the same results and so the same log lines: a lookup that walks the
    // devices once per data source asks the platform for each device once.
    struct SWalkEntry
    {
        BOOL bEnumResult;
        DWORD dwError;
        SP_DEVINFO_DATA devInfo;
        bool bHasProperty;
        BOOL bPropertyResult;
        DWORD dwPropertyError;
        std::string strProperty;
    };

    SWalkEntry& EntryAt(int idx);
    // A failure that ends the walk: no more items, a function that cannot be
    // had (no later index could be read), or any after the bound.
    static bool EndsWalk(const SWalkEntry& entry, int idx);
    // szProperty holds kPropertySize + 2 bytes.
    BOOL ReadDriverProperty(SWalkEntry& entry, char* szProperty);

    CDevInfoSet m_DevInfo;
    DWORD m_dwSetError;
    int m_idx;
    std::vector<SWalkEntry> m_walk;
    // The index of the device the walk stands on; -1 before the first one
    // and after the last.
    int m_current;
};

#endif
