// Stands in for a driver package's removal of its devices in the example
// installers: deletes the devices registered below Enum\<argument>; none
// there is no failure.
#include <windows.h>

#include <string>

int main(int argc, char** argv)
{
    if (argc != 2)
        return 1;
    const std::string key = std::string("System\\CurrentControlSet\\Enum\\") + argv[1];
    LSTATUS status = RegDeleteTreeA(HKEY_LOCAL_MACHINE, key.c_str());
    if (status == ERROR_SUCCESS)
        status = RegDeleteKeyA(HKEY_LOCAL_MACHINE, key.c_str());
    return status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND ? 0 : 2;
}
