#include "devices/CDevInfoSet.h"

bool DestroyDevInfoSet(HDEVINFO hDevInfo)
{
    return SetupDiDestroyDeviceInfoList(hDevInfo) != FALSE;
}
