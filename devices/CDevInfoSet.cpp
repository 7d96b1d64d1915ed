#include "devices/CDevInfoSet.h"

CDevInfoSet::~CDevInfoSet()
{
    if (IsValid())
        SetupDiDestroyDeviceInfoList(m_hDevInfo);
}
