#include "TestMachine.h"

#include "TestFiles.h"
#include "TestRegistry.h"

void CleanMachine::Clean()
{
    RemoveAllImageDevices();
    ResetTwainDir();
    RemoveLogs();
}
