#include "TestLines.h"

#include "TestFiles.h"
#include "TestRegistry.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>

const char kCorvelLine[] = "CorvelCLSID value name exists";
const char kAssumeTIRN[] = "TwainDSmodule value not found, assume TIRN device";

Lines operator+(Lines a, const Lines& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

std::string Inst(int i)
{
    char buf[16];
    std::snprintf(buf, sizeof(buf), "%04d", i);
    return buf;
}

Lines Sorted(Lines lines)
{
    std::sort(lines.begin(), lines.end());
    return lines;
}

std::string Generic()
{
    return TwainDir() + "\\zbxgnds2";
}

std::string DsDir(const Instance& inst, const std::string& prefix)
{
    return TwainDir() + "\\" + prefix + inst.text;
}

std::string Staged(const Instance& inst, const std::string& prefix)
{
    return DsDir(inst, prefix) + "\\" + prefix + inst.text;
}

std::string DsFile(const Instance& inst, const std::string& prefix)
{
    return Staged(inst, prefix) + ".ds";
}

void MakeDsDir(const Instance& inst, const Lines& files)
{
    ASSERT_TRUE(CreateDirectoryA(DsDir(inst).c_str(), nullptr)) << DsDir(inst);
    for (const std::string& file : files)
        WriteBytes(DsDir(inst) + "\\" + file, "data source " + file);
}

Lines SingleHeader(const std::string& id, const std::string& checkKey, const std::string& prefix,
                   const std::string& checkValue, const std::string& paramsKey)
{
    return {"Hardware Identifier:\t" + id, "Data source prefix:\t" + prefix, "Check Key:\t" + checkKey,
            "Check Value:\t" + checkValue, "Params Key:\t" + paramsKey};
}

Lines Header(int bAdd, const std::string& prefix, const std::string& checkKey)
{
    return {"In function MAddTwainDS", "bAdd = " + std::to_string(bAdd), "Data source prefix:\t" + prefix,
            "Check Key:\t" + checkKey, "Check Value:\tInstallCLSID"};
}

std::string EnumLine(int result, int idx)
{
    return "SetupDiEnumDeviceInfo returned " + std::to_string(result) + ", m_idx = " + std::to_string(idx);
}

std::string PropertyLine(int result, const std::string& text)
{
    return "SetupDiGetDeviceRegistryProperty returned " + std::to_string(result) + ", producing " + text;
}

std::string SkipLine(int error)
{
    return " EnumImagingDevices non-terminating error, GetLastError returned " + std::to_string(error);
}

std::string EndLine(int idx)
{
    return "EnumImagingDevices terminating condition, m_idx = " + std::to_string(idx);
}

Lines Device(int idx, const Instance& inst)
{
    return {EnumLine(1, idx),
            inst.text.empty() ? PropertyLine(0, "") : PropertyLine(1, kImageClassGuid + ("\\" + inst.text))};
}

Lines WalkEnd(int idx)
{
    return {EnumLine(0, idx), EndLine(idx)};
}

Lines Paths(const Instance& inst, const std::string& prefix)
{
    return {"m_szTwainDir = " + TwainDir(), "szTwainDir = " + DsDir(inst, prefix),
            "szFileName = " + Staged(inst, prefix), "szFileNameDs = " + DsFile(inst, prefix),
            "szFileNameGenericDs = " + Generic()};
}

Lines Copied(const Instance& inst, const std::string& prefix)
{
    return {"CopyFile succeeded on " + Generic(), "Copied to " + DsFile(inst, prefix)};
}

std::string Removed(const std::string& path)
{
    return "_tremove succefully removed " + path;
}

Lines AddPaths(const Instance& inst, const std::string& prefix)
{
    return {"Existing File:\t" + Staged(inst, prefix), "New File:\t" + DsFile(inst, prefix)};
}

Lines RemovePaths(const Instance& inst, const std::string& prefix)
{
    return {"Existing File:\t" + DsFile(inst, prefix), "New File:\t" + Staged(inst, prefix)};
}
