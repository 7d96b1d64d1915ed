// Expected log lines and data-source paths of MAddDS and MRemoveDS.
#pragma once

#include "harness/TestFiles.h"
#include "harness/TestLog.h"
#include "harness/TestRegistry.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

using Lines = std::vector<std::string>;

inline Lines operator+(Lines a, const Lines& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

inline std::string GenericData()
{
    static const char bytes[] = "generic module\r\n\0\x01\xff";
    return std::string(bytes, sizeof(bytes) - 1);
}

inline std::string Generic() { return TwainDir() + "\\zbxgnds2"; }
inline std::string DsDir(const std::string& inst, const std::string& prefix = "vrtk_")
{
    return TwainDir() + "\\" + prefix + inst;
}
inline std::string Staged(const std::string& inst) { return DsDir(inst) + "\\vrtk_" + inst; }
inline std::string DsFile(const std::string& inst) { return Staged(inst) + ".ds"; }

inline Lines Header(int bAdd, const std::string& prefix = "vrtk_", const std::string& checkKey = "DeviceData")
{
    return {"In function MAddTwainDS", "bAdd = " + std::to_string(bAdd), "Data source prefix:\t" + prefix,
            "Check Key:\t" + checkKey, "Check Value:\tInstallCLSID"};
}

// The enumerator's lines for one device; an empty instance is a device
// without a Driver value.
inline Lines Device(int idx, const std::string& inst)
{
    std::string property = "1, producing " + std::string(kImageClassGuid) + "\\" + inst;
    if (inst.empty())
        property = "0, producing ";
    return {"SetupDiEnumDeviceInfo returned 1, m_idx = " + std::to_string(idx),
            "SetupDiGetDeviceRegistryProperty returned " + property};
}

inline Lines WalkEnd(int idx)
{
    return {"SetupDiEnumDeviceInfo returned 0, m_idx = " + std::to_string(idx),
            "EnumImagingDevices terminating condition, m_idx = " + std::to_string(idx)};
}

inline Lines Paths(const std::string& inst)
{
    return {"m_szTwainDir = " + TwainDir(), "szTwainDir = " + DsDir(inst), "szFileName = " + Staged(inst),
            "szFileNameDs = " + DsFile(inst), "szFileNameGenericDs = " + Generic()};
}

inline Lines Copied(const std::string& inst)
{
    return {"CopyFile succeeded on " + Generic(), "Copied to " + DsFile(inst)};
}

inline std::string Removed(const std::string& path) { return "_tremove succefully removed " + path; }

const char kCorvelLine[] = "CorvelCLSID value name exists";
const char kAssumeTIRN[] = "TwainDSmodule value not found, assume TIRN device";

inline RegValue Corvel() { return RegSz("CorvelCLSID", "{5C3F7D5A-0000-4000-8000-000000000001}"); }
inline RegValue Module(const std::string& name) { return RegSz("TwainDSmodule", name); }

inline void MakeDsDir(const std::string& inst, const Lines& files)
{
    ASSERT_TRUE(CreateDirectoryA(DsDir(inst).c_str(), nullptr)) << DsDir(inst);
    for (const std::string& file : files)
        WriteBytes(DsDir(inst) + "\\" + file, "data source " + file);
}

class MultiFixture : public testing::Test
{
protected:
    void SetUp() override { Reset(); }
    void TearDown() override { Clean(); }
    static void Clean()
    {
        RemoveAllImageDevices();
        ResetTwainDir();
        RemoveLogs();
    }
    static void Reset()
    {
        Clean();
        WriteBytes(Generic(), GenericData());
    }
};
