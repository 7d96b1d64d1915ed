// The machine of the MAddDS and MRemoveDS tests: a clean one with the
// generic module in twain_32.
#pragma once

#include "harness/TestFiles.h"
#include "harness/TestLines.h"
#include "harness/TestLog.h"
#include "harness/TestMachine.h"
#include "harness/TestRegistry.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <string>

inline std::string GenericData()
{
    static const char bytes[] = "generic module\r\n\0\x01\xff";
    return std::string(bytes, sizeof(bytes) - 1);
}

inline RegValue Corvel()
{
    return RegSz("CorvelCLSID", "{5C3F7D5A-0000-4000-8000-000000000001}");
}
inline RegValue Module(const std::string& name)
{
    return RegSz("TwainDSmodule", name);
}

class MultiFixture : public CleanMachine
{
protected:
    void SetUp() override { Reset(); }
    static void Reset()
    {
        Clean();
        WriteBytes(Generic(), GenericData());
    }
};
