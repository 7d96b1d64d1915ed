#include "twainds/CDeviceChecks.h"

#include "devices/CDriverCalls.h"
#include "devices/CRegKey.h"
#include "log/CLogger.h"
#include "twainds/CUtils.h"

#include <mbstring.h>

#include <cstring>

namespace
{
const char kTIRNValueName[] = "CorvelCLSID";
const char kModuleKey[] = "DeviceData";
const char kModuleValue[] = "TwainDSmodule";
const char* const kTIRNModules[] = {"zbxgends.tmp", "zbxgnds2.tmp", "zbxgnds2"};
} // namespace

CDeviceChecks::CDeviceChecks(const CDriverCalls& driverCalls, const char* szHardwareId, const char* szCheckKey,
                             const char* szCheckValue)
    : m_DriverCalls(driverCalls), m_szCheckKey(szCheckKey), m_szCheckValue(szCheckValue)
{
    if (szHardwareId != NULL)
        m_strHardwareId = szHardwareId;
    m_strHardwareId.push_back('\0');
}

bool CDeviceChecks::MatchDeviceKey(bool bLog, CLogger* logger)
{
    CRegKey driverKey;
    CRegKey checkKey;
    const CRegKey* pValueKey = NULL;
    if (OpenCheckKey(driverKey, checkKey, &pValueKey, bLog, logger) != EAnswer::Yes)
        return false;
    std::string strData;
    LONG lResult = pValueKey->QueryText(m_szCheckValue, &strData);
    // A value longer than the buffer does not match: the device is left
    // alone, as it is when the value is not there.
    if (lResult == ERROR_MORE_DATA || Answer("RegQueryValueEx", m_szCheckValue, lResult, bLog, logger) != EAnswer::Yes)
        return false;

    strData.push_back('\0');
    _mbslwr(reinterpret_cast<unsigned char*>(&strData[0]));
    _mbslwr(reinterpret_cast<unsigned char*>(&m_strHardwareId[0]));
    return CUtils::ContainsText(strData.c_str(), m_strHardwareId.c_str());
}

CDeviceChecks::EAnswer CDeviceChecks::Answer(const char* szCall, const char* szName, long lResult, bool bLog,
                                             CLogger* logger)
{
    if (lResult == ERROR_SUCCESS)
        return EAnswer::Yes;
    if (lResult == ERROR_FILE_NOT_FOUND)
        return EAnswer::No;
    if (bLog)
        logger->LogFormat("%s failed on %s, GetLastError returned %d", szCall, szName, static_cast<int>(lResult));
    return EAnswer::Unsure;
}

CDeviceChecks::EAnswer CDeviceChecks::OpenCheckKey(CRegKey& driverKey, CRegKey& checkKey, const CRegKey** ppKey,
                                                   bool bLog, CLogger* logger)
{
    *ppKey = NULL;
    if (!m_DriverCalls.OpenDriverKey(&driverKey, bLog, logger))
        return EAnswer::Unsure;
    if (m_szCheckKey == NULL)
    {
        *ppKey = &driverKey;
        return EAnswer::Yes;
    }
    EAnswer answer = Answer("RegOpenKeyEx", m_szCheckKey, checkKey.OpenSubKey(driverKey, m_szCheckKey), bLog, logger);
    if (answer == EAnswer::Yes)
        *ppKey = &checkKey;
    return answer;
}

CDeviceChecks::EAnswer CDeviceChecks::ValueNameExists(const CRegKey& key, const char* valueName, bool bLog,
                                                      CLogger* logger)
{
    EAnswer answer = Answer("RegQueryValueEx", valueName, key.QueryExists(valueName), bLog, logger);
    if (answer == EAnswer::Yes && bLog)
        logger->LogFormat("%s value name exists", valueName);
    return answer;
}

bool CDeviceChecks::IsCorvelTIRNDevice(bool bLog, CLogger* logger)
{
    CRegKey driverKey;
    CRegKey checkKey;
    const CRegKey* pCheckKey = NULL;
    if (OpenCheckKey(driverKey, checkKey, &pCheckKey, bLog, logger) != EAnswer::Yes ||
        ValueNameExists(*pCheckKey, kTIRNValueName, bLog, logger) != EAnswer::Yes)
        return false;
    // Key names are compared as the registry does, without regard to case.
    if (m_szCheckKey != NULL && _stricmp(m_szCheckKey, kModuleKey) == 0)
        return IsTIRNModule(*pCheckKey, true, bLog, logger) == EAnswer::Yes;
    CRegKey moduleKey;
    return Answer("RegOpenKeyEx", kModuleKey, moduleKey.OpenSubKey(driverKey, kModuleKey), bLog, logger) ==
               EAnswer::Yes &&
           IsTIRNModule(moduleKey, false, bLog, logger) == EAnswer::Yes;
}

CDeviceChecks::EAnswer CDeviceChecks::IsTIRNDevice(bool bLog, CLogger* logger)
{
    CRegKey driverKey;
    if (!m_DriverCalls.OpenDriverKey(&driverKey, bLog, logger))
        return EAnswer::Unsure;
    CRegKey moduleKey;
    EAnswer answer = Answer("RegOpenKeyEx", kModuleKey, moduleKey.OpenSubKey(driverKey, kModuleKey), bLog, logger);
    return answer == EAnswer::Yes ? IsTIRNModule(moduleKey, false, bLog, logger) : answer;
}

CDeviceChecks::EAnswer CDeviceChecks::IsTIRNModule(const CRegKey& moduleKey, bool bReused, bool bLog, CLogger* logger)
{
    std::string strModule;
    LONG lResult = moduleKey.QueryText(kModuleValue, &strModule);
    if (bReused && lResult == ERROR_KEY_DELETED)
        return EAnswer::No;
    if (lResult == ERROR_FILE_NOT_FOUND)
    {
        if (bLog)
            logger->LogFormat("%s value not found, assume TIRN device", kModuleValue);
        return EAnswer::Yes;
    }
    // No module name fits in the buffer: the value names another module.
    if (lResult == ERROR_MORE_DATA)
    {
        if (bLog)
            logger->LogFormat("%s value longer than %d bytes, this is not a TIRN Device", kModuleValue,
                              static_cast<int>(CRegKey::kValueSize));
        return EAnswer::No;
    }
    if (lResult != ERROR_SUCCESS)
        return Answer("RegQueryValueEx", kModuleValue, lResult, bLog, logger);
    // The module names are file names as the installer wrote them: compared
    // byte for byte, case included.
    for (const char* szModule : kTIRNModules)
    {
        if (strModule == szModule)
        {
            if (bLog)
                logger->LogFormat("TwainDSModule = %s, this is a TIRN Device", strModule.c_str());
            return EAnswer::Yes;
        }
    }
    if (bLog)
        logger->LogFormat("TwainDSModule = %s, this is not a TIRN Device", strModule.c_str());
    return EAnswer::No;
}
