#ifndef TIRN_TWAINDS_CMODTWAINDS_H
#define TIRN_TWAINDS_CMODTWAINDS_H

#include "devices/CDriverCalls.h"
#include "twainds/CDeviceChecks.h"
#include "twainds/CDsFiles.h"
#include "twainds/CDsNames.h"

#include <initializer_list>
#include <memory>

class CLogger;

// One run's data-source job: the call's arguments, the device walk, and the
// four functions built from the names, registry tests and file work of the
// data sources.
class CModTwainDS
{
public:
    static constexpr int kInstanceSize = 5;

    // AddDS and RemoveDS.
    CModTwainDS(const char* szHardwareId, const char* szDsPrefix, const char* szCheckKey, const char* szCheckValue,
                const char* szParamsKey);
    // MAddDS and MRemoveDS.
    CModTwainDS(const char* szDsPrefix, const char* szCheckKey, const char* szCheckValue);
    virtual ~CModTwainDS() {}

    CModTwainDS(const CModTwainDS&) = delete;
    CModTwainDS& operator=(const CModTwainDS&) = delete;

    void AddTwainDS(bool bAdd, bool bLog);
    void MAddTwainDS(bool bAdd, bool bLog);

    // Moves the walk to the next device with a four-digit instance number;
    // its number in buffer.
    bool NextDevice(char* buffer, int bufferSize, bool bLog, CLogger* logger);
    // Whether a listed device has this instance number; on true the walk
    // stands on that device.
    bool InstanceExists(const char* instance, bool bLog, CLogger* logger);

    CDriverCalls m_DriverCalls;
    CDsNames m_Names;
    CDeviceChecks m_Checks;
    CDsFiles m_Files;

private:
    struct SLabelled
    {
        const char* szLabel;
        const char* szValue; // null is written as empty
    };

    std::unique_ptr<CLogger> StartLog(bool bAdd) const;
    // The call's arguments as labelled lines.
    void WriteArguments(CLogger* logger, std::initializer_list<SLabelled> lines) const;
    void AddWalk(bool bLog, CLogger* logger);
    void RemoveWalk(bool bLog, CLogger* logger);

    const char* m_szParamsKey;
    const char* m_szCheckValue;
    const char* m_szCheckKey;
    const char* m_szDsPrefix;
};

#endif
