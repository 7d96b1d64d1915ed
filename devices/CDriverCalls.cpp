#include "devices/CDriverCalls.h"

#include "devices/CRegKey.h"
#include "log/CLogger.h"

#include <devguid.h>
#include <mbstring.h>

#include <cstring>

CDriverCalls::CDriverCalls()
    : m_DevInfo(SetupDiGetClassDevsA(&GUID_DEVCLASS_IMAGE, NULL, NULL, 0)), m_idx(0)
{
}

CDriverCalls::~CDriverCalls() {}

bool CDriverCalls::OpenDriverKey(SP_DEVINFO_DATA* deviceRecord, CRegKey* pKey) const
{
    pKey->Reset(NULL);
    if (!HasDeviceSet())
        return false;
    HKEY hKey = SetupDiOpenDevRegKey(m_DevInfo.Get(), deviceRecord, DICS_FLAG_GLOBAL, 0, DIREG_DRV, KEY_QUERY_VALUE);
    // A failed open gives INVALID_HANDLE_VALUE, which is no key to close.
    if (hKey == INVALID_HANDLE_VALUE)
        return false;
    pKey->Reset(hKey);
    return pKey->IsOpen();
}

void CDriverCalls::EnumAt(int idx, SP_DEVINFO_DATA* deviceRecord, BOOL* pbResult, DWORD* pdwError, bool bLog,
                          CLogger* logger)
{
    if (idx >= 0 && idx < static_cast<int>(m_walk.size()))
    {
        const SWalkEntry& entry = m_walk[idx];
        *pbResult = entry.bEnumResult;
        *pdwError = entry.dwError;
        if (entry.bEnumResult)
            *deviceRecord = entry.devInfo;
        return;
    }

    // The lines made from memory reach the log before the platform is asked.
    if (bLog)
        logger->Flush();
    *pbResult = SetupDiEnumDeviceInfo(m_DevInfo.Get(), idx, deviceRecord);
    *pdwError = *pbResult ? ERROR_SUCCESS : GetLastError();

    if (idx == static_cast<int>(m_walk.size()))
    {
        SWalkEntry entry = {};
        entry.bEnumResult = *pbResult;
        entry.dwError = *pdwError;
        if (*pbResult)
            entry.devInfo = *deviceRecord;
        m_walk.push_back(entry);
    }
}

bool CDriverCalls::EnumImagingDevices(SP_DEVINFO_DATA* deviceRecord, bool bLog, CLogger* logger)
{
    if (!HasDeviceSet())
        return false;

    for (;;)
    {
        BOOL bResult;
        DWORD dwError;
        EnumAt(m_idx, deviceRecord, &bResult, &dwError, bLog, logger);
        if (bLog)
            logger->LogFormat("SetupDiEnumDeviceInfo returned %d, m_idx = %d", bResult ? 1 : 0, m_idx);

        if (bResult)
        {
            m_idx++;
            return true;
        }
        if (dwError == ERROR_NO_MORE_ITEMS || m_idx > kMaxFailingIndex)
            break;

        if (bLog)
            logger->LogFormat(" EnumImagingDevices non-terminating error, GetLastError returned %d",
                              static_cast<int>(dwError));
        m_idx++;
    }

    if (bLog)
        logger->LogFormat("EnumImagingDevices terminating condition, m_idx = %d", m_idx);
    m_idx = 0;
    return false;
}

void CDriverCalls::ReadDriverProperty(SP_DEVINFO_DATA* deviceRecord, BOOL* pbResult, char* szProperty, bool bLog,
                                      CLogger* logger)
{
    // The index the record came from, when it is the device the walk has
    // just reached.
    int idx = m_idx - 1;
    SWalkEntry* pEntry = NULL;
    if (idx >= 0 && idx < static_cast<int>(m_walk.size()) && m_walk[idx].bEnumResult &&
        m_walk[idx].devInfo.DevInst == deviceRecord->DevInst)
        pEntry = &m_walk[idx];

    // Two terminators after the text, however long: the double-byte search
    // stops after a trailing lead byte too.
    std::memset(szProperty, 0, kPropertySize + 2);
    if (pEntry && pEntry->bHasProperty)
    {
        *pbResult = pEntry->bPropertyResult;
        std::memcpy(szProperty, pEntry->strProperty.c_str(), pEntry->strProperty.size());
        return;
    }

    if (bLog)
        logger->Flush();
    DWORD dwRequired = kPropertySize;
    *pbResult = SetupDiGetDeviceRegistryPropertyA(m_DevInfo.Get(), deviceRecord, SPDRP_DRIVER, NULL,
                                                  reinterpret_cast<BYTE*>(szProperty), kPropertySize, &dwRequired);
    // After a failed read the buffer holds nothing the call meant.
    if (!*pbResult)
        szProperty[0] = '\0';

    if (pEntry)
    {
        pEntry->bHasProperty = true;
        pEntry->bPropertyResult = *pbResult;
        pEntry->strProperty = szProperty;
    }
}

bool CDriverCalls::GetDriverInstance(SP_DEVINFO_DATA* deviceRecord, char* buffer, int bufferSize, bool bLog,
                                     CLogger* logger)
{
    buffer[0] = '\0';

    BOOL bResult;
    char szProperty[kPropertySize + 2];
    ReadDriverProperty(deviceRecord, &bResult, szProperty, bLog, logger);
    if (bLog)
        logger->LogFormat("SetupDiGetDeviceRegistryProperty returned %d, producing %s", bResult ? 1 : 0, szProperty);
    if (!bResult)
        return false;

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
