#include "twainds/CModTwainDS.h"

#include "log/CLogger.h"
#include "twainds/CRegKey.h"

#include <direct.h>
#include <mbstring.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

char CModTwainDS::m_szTwainDir[MAX_PATH];

namespace
{
const char kGenericModule[] = "zbxgnds2";
const char kTIRNValueName[] = "CorvelCLSID";
const char kModuleKey[] = "DeviceData";
const char kModuleValue[] = "TwainDSmodule";
const char* const kTIRNModules[] = {"zbxgends.tmp", "zbxgnds2.tmp", "zbxgnds2"};

void LogNoTwainDir(bool bLog, CLogger* logger, const char* instance)
{
    if (bLog)
        logger->LogFormat("No twain_32 directory, nothing done for instance %s", instance);
}

void LogPathTooLong(bool bLog, CLogger* logger, const char* instance)
{
    if (bLog)
        logger->LogFormat("Paths for instance %s do not fit in %d characters, skipped", instance, MAX_PATH - 1);
}
}

CModTwainDS::CModTwainDS(const char* szHardwareId, const char* szDsPrefix, const char* szCheckKey,
                         const char* szCheckValue, const char* szParamsKey)
    : m_pDevInfoData(NULL), m_FindData(), m_bFindDone(false), m_hFind(-1), m_szParamsKey(szParamsKey),
      m_szCheckValue(szCheckValue), m_szCheckKey(szCheckKey), m_szHardwareId(NULL), m_szDsPrefix(szDsPrefix)
{
    if (szHardwareId != NULL)
    {
        // Two terminators: lower-casing in place must stop even after a
        // trailing lead byte.
        size_t cch = std::strlen(szHardwareId);
        m_szHardwareId = new char[cch + 2];
        std::memcpy(m_szHardwareId, szHardwareId, cch);
        m_szHardwareId[cch] = '\0';
        m_szHardwareId[cch + 1] = '\0';
    }
    Init();
}

CModTwainDS::CModTwainDS(const char* szDsPrefix, const char* szCheckKey, const char* szCheckValue)
    : m_pDevInfoData(NULL), m_FindData(), m_bFindDone(false), m_hFind(-1), m_szParamsKey(NULL),
      m_szCheckValue(szCheckValue), m_szCheckKey(szCheckKey), m_szHardwareId(NULL), m_szDsPrefix(szDsPrefix)
{
    Init();
}

CModTwainDS::~CModTwainDS()
{
    delete[] m_szHardwareId;
    delete m_pDevInfoData;
}

void CModTwainDS::Init()
{
    // A directory that cannot be had, or leaves no room for "\twain_32",
    // gives no twain_32 directory at all rather than one below the root of
    // the current drive.
    char szWindowsDir[MAX_PATH];
    UINT cch = GetWindowsDirectoryA(szWindowsDir, sizeof(szWindowsDir));
    m_szTwainDir[0] = '\0';
    if (cch != 0 && cch < sizeof(szWindowsDir))
    {
        // The last character decides, not the last byte: under a double-byte
        // code page a trail byte may be 0x5C.
        const unsigned char* pStart = reinterpret_cast<const unsigned char*>(szWindowsDir);
        const unsigned char* pLast = _mbsdec(pStart, pStart + cch);
        const char* szSeparator = pLast != NULL && *pLast == '\\' && pLast + 1 == pStart + cch ? "" : "\\";
        CUtils::BuildPath(m_szTwainDir, sizeof(m_szTwainDir), {szWindowsDir, szSeparator, "twain_32"});
    }

    m_pDevInfoData = new SP_DEVINFO_DATA();
    m_pDevInfoData->cbSize = sizeof(SP_DEVINFO_DATA);
    m_hFind = -1;
    m_bFindDone = false;
}

bool CModTwainDS::NextDevice(char* buffer, int bufferSize, bool bLog, CLogger* logger)
{
    char szInstance[MAX_PATH];
    while (m_DriverCalls.EnumImagingDevices(m_pDevInfoData, bLog, logger))
    {
        if (!m_DriverCalls.GetDriverInstance(m_pDevInfoData, szInstance, sizeof(szInstance), bLog, logger))
            continue;
        if (!CUtils::IsInstanceNumber(szInstance) || bufferSize <= 4)
        {
            if (bLog)
                logger->LogFormat("Instance %s is not four decimal digits, device skipped", szInstance);
            continue;
        }
        std::memcpy(buffer, szInstance, 5);
        return true;
    }
    return false;
}

void CModTwainDS::AddTwainDS(bool bAdd, bool bLog)
{
    std::unique_ptr<CLogger> log;
    if (bLog)
    {
        log.reset(new CLogger(bAdd ? "_add_ds.log" : "_remove_ds.log"));
        const char* const lines[][2] = {
            {"Hardware Identifier:", m_szHardwareId ? m_szHardwareId : ""},
            {"Data source prefix:", m_szDsPrefix},
            {"Check Key:", m_szCheckKey},
            {"Check Value:", m_szCheckValue},
            {"Params Key:", m_szParamsKey ? m_szParamsKey : ""},
        };
        for (const auto& line : lines)
        {
            log->WriteLabel(line[0]);
            log->WriteLine(line[1]);
        }
        if (!HasTwainDir())
            log->LogFormat("No twain_32 directory: the Windows directory could not be had, no file is touched");
    }

    char szInstance[kInstanceSize] = {};
    while (NextDevice(szInstance, sizeof(szInstance), bLog, log.get()))
    {
        if (MatchDeviceKey(m_pDevInfoData))
            AddRemoveDsFile(szInstance, bAdd, bLog, log.get());
    }
}

bool CModTwainDS::MatchDeviceKey(SP_DEVINFO_DATA* deviceRecord)
{
    CRegKey driverKey;
    CRegKey checkKey;
    const CRegKey* pValueKey = OpenCheckKey(deviceRecord, driverKey, checkKey);
    std::string strData;
    if (pValueKey == NULL || !pValueKey->QueryText(m_szCheckValue, &strData))
        return false;

    // Data that ends in a lead byte: the runtime's double-byte routines take
    // the terminator for its trail byte, so a second one ends the text.
    strData.push_back('\0');
    _mbslwr(reinterpret_cast<unsigned char*>(&strData[0]));
    _mbslwr(reinterpret_cast<unsigned char*>(m_szHardwareId));
    return CUtils::ContainsText(strData.c_str(), m_szHardwareId);
}

const CRegKey* CModTwainDS::OpenCheckKey(SP_DEVINFO_DATA* pDevInfoData, CRegKey& driverKey, CRegKey& checkKey)
{
    if (m_DriverCalls.m_hDevInfo == INVALID_HANDLE_VALUE ||
        !driverKey.OpenDriverKey(m_DriverCalls.m_hDevInfo, pDevInfoData))
        return NULL;
    if (m_szCheckKey == NULL)
        return &driverKey;
    return checkKey.OpenSubKey(driverKey, m_szCheckKey) ? &checkKey : NULL;
}

bool CModTwainDS::AddRemoveDsFile(const char* instance, bool bAdd, bool bLog, CLogger* logger)
{
    if (!HasTwainDir())
    {
        LogNoTwainDir(bLog, logger, instance);
        return false;
    }

    char szDir[MAX_PATH];
    char szStaged[MAX_PATH];
    char szDs[MAX_PATH];
    if (!CUtils::BuildPath(szDir, sizeof(szDir), {m_szTwainDir, "\\", m_szDsPrefix, instance}) ||
        !CUtils::BuildPath(szStaged, sizeof(szStaged), {szDir, "\\", m_szDsPrefix, instance}) ||
        !CUtils::BuildPath(szDs, sizeof(szDs), {szStaged, ".ds"}))
    {
        LogPathTooLong(bLog, logger, instance);
        return false;
    }

    if (bAdd)
    {
        if (bLog)
        {
            logger->WriteLabel("Existing File:");
            logger->WriteLine(szStaged);
            logger->WriteLabel("New File:");
            logger->WriteLine(szDs);
        }
        // Never replaces: an existing data source stays as it is.
        return MoveFileA(szStaged, szDs) != FALSE;
    }

    if (bLog)
    {
        logger->WriteLabel("Existing File:");
        logger->WriteLine(szDs);
        logger->WriteLabel("New File:");
        logger->WriteLine(szStaged);
    }
    if (!SetFileAttributesA(szDs, FILE_ATTRIBUTE_NORMAL))
    {
        DWORD dwError = GetLastError();
        if (bLog)
            logger->LogFormat("SetFileAttributes failed, GetLastError returned %d", static_cast<int>(dwError));
    }
    std::remove(szDs);
    if (!SetFileAttributesA(szDir, FILE_ATTRIBUTE_NORMAL))
    {
        DWORD dwError = GetLastError();
        if (bLog)
            logger->LogFormat("SetFileAttributes failed, GetLastError returned %d", static_cast<int>(dwError));
    }
    // Goes only when nothing else is left in the directory.
    _rmdir(szDir);
    return true;
}

void CModTwainDS::MAddTwainDS(bool bAdd, bool bLog)
{
    std::unique_ptr<CLogger> log;
    if (bLog)
    {
        log.reset(new CLogger(bAdd ? "_add_ds.log" : "_remove_ds.log"));
        log->LogFormat("In function MAddTwainDS");
        log->LogFormat("bAdd = %d", bAdd ? 1 : 0);
        const char* const lines[][2] = {
            {"Data source prefix:", m_szDsPrefix},
            {"Check Key:", m_szCheckKey},
            {"Check Value:", m_szCheckValue},
        };
        for (const auto& line : lines)
        {
            log->WriteLabel(line[0]);
            log->WriteLine(line[1]);
        }
        if (!HasTwainDir())
            log->LogFormat("No twain_32 directory: the Windows directory could not be had, no file is touched");
    }

    if (bAdd)
        AddWalk(bLog, log.get());
    else
        RemoveWalk(bLog, log.get());
}

void CModTwainDS::AddWalk(bool bLog, CLogger* logger)
{
    char szInstance[kInstanceSize] = {};
    while (NextDevice(szInstance, sizeof(szInstance), bLog, logger))
    {
        if (ValueNameExists(m_pDevInfoData, kTIRNValueName, bLog, logger) &&
            IsTIRNDevice(m_pDevInfoData, bLog, logger))
            CopyRemoveDsFile(szInstance, true, bLog, logger);
    }
}

void CModTwainDS::RemoveWalk(bool bLog, CLogger* logger)
{
    if (!HasTwainDir())
        return;
    // Without the device list a gone device cannot be told from a present
    // one, and removing every data source would take those of devices still
    // installed.
    if (m_DriverCalls.m_hDevInfo == INVALID_HANDLE_VALUE)
    {
        if (bLog)
            logger->LogFormat("No device information set, no data source is removed");
        return;
    }
    char szPattern[MAX_PATH];
    if (!CUtils::BuildPath(szPattern, sizeof(szPattern), {m_szTwainDir, "\\", m_szDsPrefix, "*"}))
    {
        if (bLog)
            logger->LogFormat("Search pattern for prefix %s does not fit in %d characters, no directory walk",
                              m_szDsPrefix, MAX_PATH - 1);
        return;
    }

    char szInstance[kInstanceSize] = {};
    while (NextDsDirectory(szInstance, sizeof(szInstance)))
    {
        if (bLog)
            logger->LogFormat("Found Twain_32 directory for Instance %s", szInstance);
        if (!InstanceExists(szInstance, bLog, logger) || !IsTIRNDevice(m_pDevInfoData, bLog, logger))
            CopyRemoveDsFile(szInstance, false, bLog, logger);
    }
}

bool CModTwainDS::NextDsDirectory(char* instance, int bufferSize)
{
    if (m_hFind == -1)
    {
        if (!HasTwainDir())
            return false;
        std::unique_ptr<char[]> szPattern(new char[MAX_PATH]);
        if (!CUtils::BuildPath(szPattern.get(), MAX_PATH, {m_szTwainDir, "\\", m_szDsPrefix, "*"}))
            return false;
        m_hFind = _findfirst64i32(szPattern.get(), &m_FindData);
        if (m_hFind == -1)
            return false;
    }

    size_t cchPrefix = std::strlen(m_szDsPrefix);
    for (;;)
    {
        if (m_bFindDone)
        {
            m_hFind = -1;
            m_bFindDone = false;
            return false;
        }

        // The pattern matches case-insensitively, so only the length of the
        // prefix is taken off the name. Entries of other families that share
        // the start of their names, and anything else, are not walked.
        bool bOurs = std::strlen(m_FindData.name) >= cchPrefix &&
                     CUtils::IsInstanceNumber(m_FindData.name + cchPrefix) && bufferSize > 4;
        if (bOurs)
            std::memcpy(instance, m_FindData.name + cchPrefix, 5);

        // Read one entry ahead, so the caller may remove the current one.
        if (_findnext64i32(m_hFind, &m_FindData) != 0)
        {
            _findclose(m_hFind);
            m_bFindDone = true;
        }
        if (bOurs)
            return true;
    }
}

bool CModTwainDS::InstanceExists(const char* instance, bool bLog, CLogger* logger)
{
    std::unique_ptr<char[]> szDeviceInstance(new char[MAX_PATH]());
    m_DriverCalls.m_idx = 0;
    while (NextDevice(szDeviceInstance.get(), MAX_PATH, bLog, logger))
    {
        if (std::strcmp(instance, szDeviceInstance.get()) == 0)
        {
            if (bLog)
                logger->LogFormat("%s exists", instance);
            return true;
        }
    }
    return false;
}

bool CModTwainDS::ValueNameExists(SP_DEVINFO_DATA* pDevInfoData, const char* valueName, bool bLog,
                                  CLogger* logger)
{
    CRegKey driverKey;
    CRegKey checkKey;
    const CRegKey* pValueKey = OpenCheckKey(pDevInfoData, driverKey, checkKey);
    if (pValueKey == NULL || !pValueKey->ValueExists(valueName))
        return false;
    if (bLog)
        logger->LogFormat("%s value name exists", valueName);
    return true;
}

bool CModTwainDS::IsTIRNDevice(SP_DEVINFO_DATA* pDevInfoData, bool bLog, CLogger* logger)
{
    if (m_DriverCalls.m_hDevInfo == INVALID_HANDLE_VALUE)
        return false;
    CRegKey driverKey;
    if (!driverKey.OpenDriverKey(m_DriverCalls.m_hDevInfo, pDevInfoData))
        return false;
    CRegKey moduleKey;
    if (!moduleKey.OpenSubKey(driverKey, kModuleKey))
        return false;

    std::string strModule;
    if (!moduleKey.QueryText(kModuleValue, &strModule))
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

void CModTwainDS::CopyRemoveDsFile(const char* instance, bool bAdd, bool bLog, CLogger* logger)
{
    if (!HasTwainDir())
    {
        LogNoTwainDir(bLog, logger, instance);
        return;
    }

    char szTwainDir[MAX_PATH];
    char szFileName[MAX_PATH];
    char szFileNameDs[MAX_PATH];
    char szFileNameGenericDs[MAX_PATH];
    if (!CUtils::BuildPath(szTwainDir, sizeof(szTwainDir), {m_szTwainDir, "\\", m_szDsPrefix, instance}) ||
        !CUtils::BuildPath(szFileName, sizeof(szFileName), {szTwainDir, "\\", m_szDsPrefix, instance}) ||
        !CUtils::BuildPath(szFileNameDs, sizeof(szFileNameDs), {szFileName, ".ds"}) ||
        !CUtils::BuildPath(szFileNameGenericDs, sizeof(szFileNameGenericDs), {m_szTwainDir, "\\", kGenericModule}))
    {
        LogPathTooLong(bLog, logger, instance);
        return;
    }

    if (bLog)
    {
        logger->LogFormat("m_szTwainDir = %s", m_szTwainDir);
        logger->LogFormat("szTwainDir = %s", szTwainDir);
        logger->LogFormat("szFileName = %s", szFileName);
        logger->LogFormat("szFileNameDs = %s", szFileNameDs);
        logger->LogFormat("szFileNameGenericDs = %s", szFileNameGenericDs);
    }

    auto setNormal = [&](const char* szPath) {
        if (!SetFileAttributesA(szPath, FILE_ATTRIBUTE_NORMAL))
        {
            DWORD dwError = GetLastError();
            if (bLog)
            {
                logger->LogFormat("SetFileAttributes failed on %s", szPath);
                logger->LogFormat("GetLastError returned %d", static_cast<int>(dwError));
            }
        }
    };
    auto removeFile = [&](const char* szPath) {
        if (std::remove(szPath) != 0)
        {
            int nErrno = errno;
            if (bLog)
            {
                logger->LogFormat("_tremove failed on %s", szPath);
                logger->LogFormat("errno = %d", nErrno);
            }
        }
        else if (bLog)
        {
            logger->LogFormat("_tremove succefully removed %s", szPath);
        }
    };

    if (m_Utils.PathExists(szFileName))
    {
        setNormal(szFileName);
        removeFile(szFileName);
    }
    if (m_Utils.PathExists(szFileNameDs))
        setNormal(szFileNameDs);

    if (bAdd)
    {
        if (!m_Utils.PathExists(szFileNameGenericDs))
        {
            if (bLog)
                logger->LogFormat("Failed to find szFileNameGenericDs = %s", szFileNameGenericDs);
            return;
        }
        if (!m_Utils.PathExists(szTwainDir) && _mkdir(szTwainDir) != 0)
        {
            int nErrno = errno;
            if (bLog)
            {
                logger->LogFormat("_mkdir fail to create %s", szTwainDir);
                logger->LogFormat("errno = %d", nErrno);
            }
        }
        if (CopyFileA(szFileNameGenericDs, szFileNameDs, FALSE))
        {
            if (bLog)
            {
                logger->LogFormat("CopyFile succeeded on %s", szFileNameGenericDs);
                logger->LogFormat("Copied to %s", szFileNameDs);
            }
        }
        else
        {
            DWORD dwError = GetLastError();
            if (bLog)
            {
                logger->LogFormat("CopyFile failed");
                logger->LogFormat("GetLastError returned %d", static_cast<int>(dwError));
            }
        }
        return;
    }

    if (m_Utils.PathExists(szFileNameDs))
    {
        setNormal(szFileNameDs);
        removeFile(szFileNameDs);
    }
    if (!SetFileAttributesA(szTwainDir, FILE_ATTRIBUTE_NORMAL))
    {
        DWORD dwError = GetLastError();
        if (bLog)
            logger->LogFormat("SetFileAttributes failed, GetLastError returned %d", static_cast<int>(dwError));
    }
    if (_rmdir(szTwainDir) != 0)
    {
        int nErrno = errno;
        if (bLog)
            logger->LogFormat("_trmdir failed, errno = %d", nErrno);
    }
}
