#ifndef TIRN_TWAINDS_CDEVICECHECKS_H
#define TIRN_TWAINDS_CDEVICECHECKS_H

#include <string>

class CDriverCalls;
class CLogger;
class CRegKey;

// The registry tests of the device the walk stands on, below its driver key:
// whether it belongs to the caller of AddDS or RemoveDS, and whether it
// carries CorvelCLSID and is a TIRN device for MAddDS and MRemoveDS. Only
// ERROR_FILE_NOT_FOUND says that a key or value is not there; any other
// failed call leaves the answer open, and is logged.
class CDeviceChecks
{
public:
    enum class EAnswer
    {
        No,
        Yes,
        Unsure
    };

    // szHardwareId is copied; null for the multi-device functions.
    CDeviceChecks(const CDriverCalls& driverCalls, const char* szHardwareId, const char* szCheckKey,
                  const char* szCheckValue);
    virtual ~CDeviceChecks() {}

    CDeviceChecks(const CDeviceChecks&) = delete;
    CDeviceChecks& operator=(const CDeviceChecks&) = delete;

    // The check value's text holds the hardware identifier, in any case;
    // false also when that could not be read.
    bool MatchDeviceKey(bool bLog, CLogger* logger);
    EAnswer IsTIRNDevice(bool bLog, CLogger* logger);
    // MAddDS's two tests: CorvelCLSID under the check key, and only then
    // IsTIRNDevice; true only when both surely hold. The driver key is opened
    // once, and a check key that is DeviceData itself serves both tests.
    bool IsCorvelTIRNDevice(bool bLog, CLogger* logger);

    const char* HardwareId() const { return m_strHardwareId.c_str(); }

private:
    // The check subkey of the device's driver key (the driver key itself
    // without a check key) in checkKey or driverKey; *ppKey is null unless
    // the answer is Yes.
    EAnswer OpenCheckKey(CRegKey& driverKey, CRegKey& checkKey, const CRegKey** ppKey, bool bLog, CLogger* logger);
    // What an open of a subkey or a read of a value that returned lResult
    // tells; a read that could not tell is logged.
    static EAnswer Answer(const char* szCall, const char* szName, long lResult, bool bLog, CLogger* logger);
    EAnswer ValueNameExists(const CRegKey& key, const char* valueName, bool bLog, CLogger* logger);
    // The test of the DeviceData key's module name. bReused: the key was
    // opened for the test before, and one deleted since counts as one that
    // could not be opened, as a fresh open would find.
    EAnswer IsTIRNModule(const CRegKey& moduleKey, bool bReused, bool bLog, CLogger* logger);

    const CDriverCalls& m_DriverCalls;
    const char* m_szCheckKey;
    const char* m_szCheckValue;
    // The job's own copy, lower-cased in place, with a second terminator:
    // the double-byte routines take a lone one after a trailing lead byte
    // for its trail byte.
    std::string m_strHardwareId;
};

#endif
