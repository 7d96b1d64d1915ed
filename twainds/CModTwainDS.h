#ifndef TIRN_TWAINDS_CMODTWAINDS_H
#define TIRN_TWAINDS_CMODTWAINDS_H

#include "devices/CDriverCalls.h"
#include "twainds/CUtils.h"

#include <io.h>
#include <stdint.h>

class CLogger;
class CRegKey;

// One run's data-source job: the call's arguments, the device walk and the
// scan of the twain_32 directory.
class CModTwainDS
{
public:
    static constexpr int kInstanceSize = 5;

    CModTwainDS(const char* szHardwareId, const char* szDsPrefix, const char* szCheckKey,
                const char* szCheckValue, const char* szParamsKey);
    CModTwainDS(const char* szDsPrefix, const char* szCheckKey, const char* szCheckValue);
    virtual ~CModTwainDS();

    CModTwainDS(const CModTwainDS&) = delete;
    CModTwainDS& operator=(const CModTwainDS&) = delete;

    bool NextDevice(char* buffer, int bufferSize, bool bLog, CLogger* logger);

    // AddDS and RemoveDS.
    void AddTwainDS(bool bAdd, bool bLog);
    bool MatchDeviceKey(SP_DEVINFO_DATA* deviceRecord);
    bool AddRemoveDsFile(const char* instance, bool bAdd, bool bLog, CLogger* logger);

    // MAddDS and MRemoveDS.
    void MAddTwainDS(bool bAdd, bool bLog);
    bool NextDsDirectory(char* instance, int bufferSize);
    bool InstanceExists(const char* instance, bool bLog, CLogger* logger);
    bool ValueNameExists(SP_DEVINFO_DATA* pDevInfoData, const char* valueName, bool bLog, CLogger* logger);
    bool IsTIRNDevice(SP_DEVINFO_DATA* pDevInfoData, bool bLog, CLogger* logger);
    void CopyRemoveDsFile(const char* instance, bool bAdd, bool bLog, CLogger* logger);

    bool HasTwainDir() const { return m_szTwainDir[0] != '\0'; }

    CDriverCalls m_DriverCalls;
    CUtils m_Utils;
    SP_DEVINFO_DATA* m_pDevInfoData;
    struct _finddata64i32_t m_FindData;
    bool m_bFindDone;
    intptr_t m_hFind;
    const char* m_szParamsKey;
    const char* m_szCheckValue;
    const char* m_szCheckKey;
    char* m_szHardwareId;
    const char* m_szDsPrefix;

    static char m_szTwainDir[MAX_PATH];

private:
    void Init();
    // The check subkey of the device's driver key (the driver key itself
    // without a check key); null when either cannot be opened.
    const CRegKey* OpenCheckKey(SP_DEVINFO_DATA* pDevInfoData, CRegKey& driverKey, CRegKey& checkKey);
    void AddWalk(bool bLog, CLogger* logger);
    void RemoveWalk(bool bLog, CLogger* logger);
};

#endif
