// The machine every test starts from and leaves behind.
#pragma once

#include <gtest/gtest.h>

// No imaging device, an empty twain_32 directory and no run logs, before
// and after each test.
class CleanMachine : public testing::Test
{
protected:
    void SetUp() override { Clean(); }
    void TearDown() override { Clean(); }
    static void Clean();
};
