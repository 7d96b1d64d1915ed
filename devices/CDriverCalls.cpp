#include "devices/CDriverCalls.h"

#include "devices/CRegKey.h"
#include "log/CLogger.h"

#include <devguid.h>
#include <mbstring.h>

#include <cstring>

CDriverCalls::CDriverCalls()
    : m_DevInfo(SetupDiGetClassDevsA(&GUID_DEVCLASS_IMAGE, NULL, NULL, 0)),
      m_dwSetError(m_DevInfo.IsValid() ? ERROR_SUCCESS : GetLastError()), m_idx(0), m_current(-1)
{
}

CDriverCalls::~CDriverCalls() {}

bool CDriverCalls::OpenDriverKey(CRegKey* pKey, bool bLog, CLogger* logger) const
{
    pKey->Reset(NULL);
    if (m_current < 0)
        return false;
    // The platform only reads the record, through a pointer that is not const.
    SP_DEVINFO_DATA devInfo = m_walk[m_current].devInfo;
    HKEY hKey = SetupDiOpenDevRegKey(m_DevInfo.Get(), &devInfo, DICS_FLAG_GLOBAL, 0, DIREG_DRV, KEY_QUERY_VALUE);
    // A failed open gives INVALID_HANDLE_VALUE, which is no key to close.
    if (hKey == INVALID_HANDLE_VALUE)
    {
        int nError = static_cast<int>(GetLastError());
        if (bLog)
            logger->LogFormat("SetupDiOpenDevRegKey failed on %s, GetLastError returned %d",
                              m_walk[m_current].strProperty.c_str(), nError);
        return false;
    }
    pKey->Reset(hKey);
    return pKey->IsValid();
}

bool CDriverCalls::IsListComplete() const
{
    for (const SWalkEntry& entry : m_walk)
    {
        if (!entry.bEnumResult && entry.dwError != ERROR_NO_MORE_ITEMS)
            return false;
        // ERROR_INVALID_DATA is the documented answer for a device without
        // the property: one that has no driver installed.
        if (entry.bHasProperty && !entry.bPropertyResult && entry.dwPropertyError != ERROR_INVALID_DATA)
            return false;
    }
    return true;
}

CDriverCalls::SWalkEntry& CDriverCalls::EntryAt(int idx)
{
    // The walk asks the indices in order: one not asked before is the next
    // entry.
    if (idx < static_cast<int>(m_walk.size()))
        return m_walk[idx];

    SWalkEntry entry = {};
    entry.devInfo.cbSize = sizeof(entry.devInfo);
    entry.bEnumResult = SetupDiEnumDeviceInfo(m_DevInfo.Get(), idx, &entry.devInfo);
    entry.dwError = entry.bEnumResult ? ERROR_SUCCESS : GetLastError();
    m_walk.push_back(entry);
    return m_walk.back();
}

bool CDriverCalls::EndsWalk(const SWalkEntry& entry, int idx)
{
    return !entry.bEnumResult && (entry.dwError == ERROR_NO_MORE_ITEMS || entry.dwError == ERROR_PROC_NOT_FOUND ||
                                  entry.dwError == ERROR_MOD_NOT_FOUND || idx > kMaxFailingIndex);
}

void CDriverCalls::LearnDevices()
{
    if (!HasDeviceSet())
        return;
    char szProperty[kPropertySize + 2];
    for (int idx = 0; !EndsWalk(EntryAt(idx), idx); ++idx)
    {
        if (m_walk[idx].bEnumResult)
            ReadDriverProperty(m_walk[idx], szProperty);
    }
}

bool CDriverCalls::EnumImagingDevices(bool bLog, CLogger* logger)
{
    if (!HasDeviceSet())
        return false;

    for (;;)
    {
        const SWalkEntry& entry = EntryAt(m_idx);
        if (bLog)
            logger->LogFormat("SetupDiEnumDeviceInfo returned %d, m_idx = %d", entry.bEnumResult ? 1 : 0, m_idx);

        if (entry.bEnumResult)
        {
            m_current = m_idx++;
            return true;
        }
        if (EndsWalk(entry, m_idx))
        {
            // Such a walk may have missed devices.
            if (bLog && entry.dwError != ERROR_NO_MORE_ITEMS)
                logger->LogFormat("SetupDiEnumDeviceInfo failed, GetLastError returned %d",
                                  static_cast<int>(entry.dwError));
            break;
        }

        if (bLog)
            logger->LogFormat(" EnumImagingDevices non-terminating error, GetLastError returned %d",
                              static_cast<int>(entry.dwError));
        m_idx++;
    }

    if (bLog)
        logger->LogFormat("EnumImagingDevices terminating condition, m_idx = %d", m_idx);
    m_idx = 0;
    m_current = -1;
    return false;
}

BOOL CDriverCalls::ReadDriverProperty(SWalkEntry& entry, char* szProperty)
{
    // Two terminators after the text, however long: the double-byte search
    // stops after a trailing lead byte too.
    std::memset(szProperty, 0, kPropertySize + 2);
    if (entry.bHasProperty)
    {
        std::memcpy(szProperty, entry.strProperty.c_str(), entry.strProperty.size());
        return entry.bPropertyResult;
    }

    DWORD dwRequired = kPropertySize;
    BOOL bResult = SetupDiGetDeviceRegistryPropertyA(m_DevInfo.Get(), &entry.devInfo, SPDRP_DRIVER, NULL,
                                                     reinterpret_cast<BYTE*>(szProperty), kPropertySize, &dwRequired);
    entry.dwPropertyError = bResult ? ERROR_SUCCESS : GetLastError();
    // After a failed read the buffer holds nothing the call meant.
    if (!bResult)
        szProperty[0] = '\0';

    entry.bHasProperty = true;
    entry.bPropertyResult = bResult;
    entry.strProperty = szProperty;
    return bResult;
}

bool CDriverCalls::GetDriverInstance(char* buffer, int bufferSize, bool bLog, CLogger* logger)
{
    buffer[0] = '\0';
    if (m_current < 0)
        return false;

    char szProperty[kPropertySize + 2];
    BOOL bResult = ReadDriverProperty(m_walk[m_current], szProperty);
    if (bLog)
        logger->LogFormat("SetupDiGetDeviceRegistryProperty returned %d, producing %s", bResult ? 1 : 0, szProperty);
    if (!bResult)
    {
        DWORD dwError = m_walk[m_current].dwPropertyError;
        if (bLog && dwError != ERROR_INVALID_DATA)
            logger->LogFormat("SetupDiGetDeviceRegistryProperty failed, GetLastError returned %d",
                              static_cast<int>(dwError));
        return false;
    }

    const unsigned char* pBackslash = _mbsrchr(reinterpret_cast<const unsigned char*>(szProperty), '\\');
    if (pBackslash == NULL)
        return false;

    const char* szInstance = reinterpret_cast<const char*>(pBackslash) + 1;
    // A cut number could name another device's data source.
    if (std::strlen(szInstance) >= static_cast<size_t>(bufferSize))
    {
        if (bLog)
            logger->LogFormat("Instance %s does not fit in %d characters, device skipped", szInstance, bufferSize - 1);
        return false;
    }
    std::strcpy(buffer, szInstance);
    return true;
}
