#include "twainds/CModTwainDS.h"

#include "log/CLogger.h"
#include "twainds/CDsDirectoryWalk.h"

#include <cstring>

CModTwainDS::CModTwainDS(const char* szHardwareId, const char* szDsPrefix, const char* szCheckKey,
                         const char* szCheckValue, const char* szParamsKey)
    : m_Names(szDsPrefix), m_Checks(m_DriverCalls, szHardwareId, szCheckKey, szCheckValue), m_Files(m_Names),
      m_szParamsKey(szParamsKey), m_szCheckValue(szCheckValue), m_szCheckKey(szCheckKey), m_szDsPrefix(szDsPrefix)
{
}

CModTwainDS::CModTwainDS(const char* szDsPrefix, const char* szCheckKey, const char* szCheckValue)
    : CModTwainDS(NULL, szDsPrefix, szCheckKey, szCheckValue, NULL)
{
}

bool CModTwainDS::NextDevice(char* buffer, int bufferSize, bool bLog, CLogger* logger)
{
    if (bufferSize < kInstanceSize)
        return false;
    char szInstance[MAX_PATH];
    while (m_DriverCalls.EnumImagingDevices(bLog, logger))
    {
        if (!m_DriverCalls.GetDriverInstance(szInstance, sizeof(szInstance), bLog, logger))
            continue;
        if (!CDsNames::IsInstanceNumber(szInstance))
        {
            if (bLog)
                logger->LogFormat("Instance %s is not four decimal digits, device skipped", szInstance);
            continue;
        }
        std::memcpy(buffer, szInstance, kInstanceSize);
        return true;
    }
    return false;
}

std::unique_ptr<CLogger> CModTwainDS::StartLog(bool bAdd) const
{
    return std::make_unique<CLogger>(bAdd ? "_add_ds.log" : "_remove_ds.log");
}

void CModTwainDS::WriteArguments(CLogger* logger, std::initializer_list<SLabelled> lines) const
{
    for (const SLabelled& line : lines)
    {
        logger->WriteLabel(line.szLabel);
        logger->WriteLine(line.szValue != NULL ? line.szValue : "");
    }
    if (m_Names.WindowsDirError() != 0)
        logger->LogFormat("GetWindowsDirectory failed, GetLastError returned %d",
                          static_cast<int>(m_Names.WindowsDirError()));
    if (!m_Names.HasTwainDir())
        logger->LogFormat("No twain_32 directory: the Windows directory could not be had, no file is touched");
    if (!m_DriverCalls.HasDeviceSet())
        logger->LogFormat("SetupDiGetClassDevs failed, GetLastError returned %d",
                          static_cast<int>(m_DriverCalls.DeviceSetError()));
}

void CModTwainDS::AddTwainDS(bool bAdd, bool bLog)
{
    std::unique_ptr<CLogger> logger;
    if (bLog)
    {
        logger = StartLog(bAdd);
        WriteArguments(logger.get(), {{"Hardware Identifier:", m_Checks.HardwareId()},
                                      {"Data source prefix:", m_szDsPrefix},
                                      {"Check Key:", m_szCheckKey},
                                      {"Check Value:", m_szCheckValue},
                                      {"Params Key:", m_szParamsKey}});
    }

    char szInstance[kInstanceSize] = {};
    while (NextDevice(szInstance, sizeof(szInstance), bLog, logger.get()))
    {
        if (m_Checks.MatchDeviceKey(bLog, logger.get()))
            m_Files.AddRemoveDsFile(szInstance, bAdd, bLog, logger.get());
    }
}

void CModTwainDS::MAddTwainDS(bool bAdd, bool bLog)
{
    std::unique_ptr<CLogger> logger;
    if (bLog)
    {
        logger = StartLog(bAdd);
        logger->LogFormat("In function MAddTwainDS");
        logger->LogFormat("bAdd = %d", bAdd ? 1 : 0);
        WriteArguments(
            logger.get(),
            {{"Data source prefix:", m_szDsPrefix}, {"Check Key:", m_szCheckKey}, {"Check Value:", m_szCheckValue}});
    }
    if (bAdd)
        AddWalk(bLog, logger.get());
    else
        RemoveWalk(bLog, logger.get());
}

void CModTwainDS::AddWalk(bool bLog, CLogger* logger)
{
    char szInstance[kInstanceSize] = {};
    while (NextDevice(szInstance, sizeof(szInstance), bLog, logger))
    {
        if (m_Checks.IsCorvelTIRNDevice(bLog, logger))
            m_Files.CopyDsFile(szInstance, bLog, logger);
    }
}

void CModTwainDS::RemoveWalk(bool bLog, CLogger* logger)
{
    if (!m_Names.HasTwainDir())
        return;
    // Without the device list a gone device cannot be told from a present
    // one, and removing every data source would take those of devices still
    // installed.
    if (!m_DriverCalls.HasDeviceSet())
    {
        if (bLog)
            logger->LogFormat("No device information set, no data source is removed");
        return;
    }
    char szPattern[MAX_PATH];
    if (!m_Names.SearchPattern(szPattern, sizeof(szPattern)))
    {
        if (bLog)
            logger->LogFormat("Search pattern for prefix %s does not fit in %d characters, no directory walk",
                              m_szDsPrefix, MAX_PATH - 1);
        return;
    }

    CDsDirectoryWalk walk(szPattern, m_szDsPrefix);
    char szInstance[kInstanceSize] = {};
    while (walk.NextDsDirectory(szInstance, sizeof(szInstance)))
    {
        if (bLog)
            logger->LogFormat("Found Twain_32 directory for Instance %s", szInstance);
        // Only a device surely gone or surely not a TIRN device loses its
        // data source: a list the platform could not give in full may lack
        // a device that is installed.
        CDeviceChecks::EAnswer isTIRN = CDeviceChecks::EAnswer::No;
        if (InstanceExists(szInstance, bLog, logger))
            isTIRN = m_Checks.IsTIRNDevice(bLog, logger);
        else if (!m_DriverCalls.IsListComplete())
            isTIRN = CDeviceChecks::EAnswer::Unsure;

        if (isTIRN == CDeviceChecks::EAnswer::No)
            m_Files.RemoveDsFile(szInstance, bLog, logger);
        else if (isTIRN == CDeviceChecks::EAnswer::Unsure && bLog)
            logger->LogFormat("Instance %s kept: its device could not be checked", szInstance);
    }
    // The entries after the failed call are not walked, and keep their data
    // sources.
    if (bLog && walk.FailedCall() != NULL)
        logger->LogFormat("%s failed on %s, errno = %d", walk.FailedCall(), szPattern, walk.FailedErrno());
}

bool CModTwainDS::InstanceExists(const char* instance, bool bLog, CLogger* logger)
{
    // Asked of the platform first, the lookup is a walk answered from
    // memory: its lines go to the log together.
    m_DriverCalls.LearnDevices();
    if (bLog)
        logger->Hold();
    char szDeviceInstance[kInstanceSize];
    bool bFound = false;
    m_DriverCalls.RestartWalk();
    while (!bFound && NextDevice(szDeviceInstance, sizeof(szDeviceInstance), bLog, logger))
        bFound = std::strcmp(instance, szDeviceInstance) == 0;
    if (bLog)
    {
        if (bFound)
            logger->LogFormat("%s exists", instance);
        logger->Release();
    }
    return bFound;
}
