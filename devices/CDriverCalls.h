#ifndef TIRN_DEVICES_CDRIVERCALLS_H
#define TIRN_DEVICES_CDRIVERCALLS_H

#include "devices/CDevInfoSet.h"

#include <string>
#include <vector>

class CLogger;
class CRegKey;

// The device information set of the Image class and a walk over it.
class CDriverCalls
{
public:
    static constexpr int kPropertySize = 260;
    static constexpr int kMaxFailingIndex = 1000;

    CDriverCalls();
    virtual ~CDriverCalls();

    CDriverCalls(const CDriverCalls&) = delete;
    CDriverCalls& operator=(const CDriverCalls&) = delete;

    bool EnumImagingDevices(SP_DEVINFO_DATA* deviceRecord, bool bLog, CLogger* logger);
    bool GetDriverInstance(SP_DEVINFO_DATA* deviceRecord, char* buffer, int bufferSize, bool bLog, CLogger* logger);

    // The next walk starts again at the first device.
    void RestartWalk() { m_idx = 0; }
    bool HasDeviceSet() const { return m_DevInfo.IsValid(); }
    // The driver (software) key of a device of the set, read-only.
    bool OpenDriverKey(SP_DEVINFO_DATA* deviceRecord, CRegKey* pKey) const;

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
        std::string strProperty;
    };

    void EnumAt(int idx, SP_DEVINFO_DATA* deviceRecord, BOOL* pbResult, DWORD* pdwError, bool bLog,
                CLogger* logger);
    // szProperty holds kPropertySize + 2 bytes.
    void ReadDriverProperty(SP_DEVINFO_DATA* deviceRecord, BOOL* pbResult, char* szProperty, bool bLog,
                            CLogger* logger);

    CDevInfoSet m_DevInfo;
    int m_idx;
    std::vector<SWalkEntry> m_walk;
};

#endif
