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

bool CDeviceChecks::MatchDeviceKey()
{
    CRegKey driverKey;
    CRegKey checkKey;
    const CRegKey* pValueKey = OpenCheckKey(driverKey, checkKey);
    std::string strData;
    if (pValueKey == NULL || pValueKey->QueryText(m_szCheckValue, &strData) != ERROR_SUCCESS)
        return false;

    strData.push_back('\0');
    _mbslwr(reinterpret_cast<unsigned char*>(&strData[0]));
    _mbslwr(reinterpret_cast<unsigned char*>(&m_strHardwareId[0]));
    return CUtils::ContainsText(strData.c_str(), m_strHardwareId.c_str());
}

const CRegKey* CDeviceChecks::OpenCheckKey(CRegKey& driverKey, CRegKey& checkKey)
{
    if (!m_DriverCalls.OpenDriverKey(&driverKey))
        return NULL;
    if (m_szCheckKey == NULL)
        return &driverKey;
    return checkKey.OpenSubKey(driverKey, m_szCheckKey) ? &checkKey : NULL;
}

bool CDeviceChecks::ValueNameExists(const CRegKey& key, const char* valueName, bool bLog, CLogger* logger)
{
    if (!key.ValueExists(valueName))
        return false;
    if (bLog)
        logger->LogFormat("%s value name exists", valueName);
    return true;
}

bool CDeviceChecks::IsCorvelTIRNDevice(bool bLog, CLogger* logger)
{
    CRegKey driverKey;
    CRegKey checkKey;
    const CRegKey* pCheckKey = OpenCheckKey(driverKey, checkKey);
    if (pCheckKey == NULL || !ValueNameExists(*pCheckKey, kTIRNValueName, bLog, logger))
        return false;
    // Key names are compared as the registry does, without regard to case.
    if (m_szCheckKey != NULL && _stricmp(m_szCheckKey, kModuleKey) == 0)
        return IsTIRNModule(*pCheckKey, true, bLog, logger);
    CRegKey moduleKey;
    return moduleKey.OpenSubKey(driverKey, kModuleKey) && IsTIRNModule(moduleKey, false, bLog, logger);
}

bool CDeviceChecks::IsTIRNDevice(bool bLog, CLogger* logger)
{
    CRegKey driverKey;
    CRegKey moduleKey;
    return m_DriverCalls.OpenDriverKey(&driverKey) && moduleKey.OpenSubKey(driverKey, kModuleKey) &&
           IsTIRNModule(moduleKey, false, bLog, logger);
}

bool CDeviceChecks::IsTIRNModule(const CRegKey& moduleKey, bool bReused, bool bLog, CLogger* logger)
{
    std::string strModule;
    LONG lResult = moduleKey.QueryText(kModuleValue, &strModule);
    if (bReused && lResult == ERROR_KEY_DELETED)
        return false;
    if (lResult != ERROR_SUCCESS)
    {
        if (bLog)
            logger->LogFormat("%s value not found, assume TIRN device", kModuleValue);
        return true;
    }
    // The module names are file names as the installer wrote them: compared
    // byte for byte, case included.
    for (const char* szModule : kTIRNModules)
    {
        if (strModule == szModule)
        {
            if (bLog)
                logger->LogFormat("TwainDSModule = %s, this is a TIRN Device", strModule.c_str());
            return true;
        }
    }
    if (bLog)
        logger->LogFormat("TwainDSModule = %s, this is not a TIRN Device", strModule.c_str());
    return false;
}
