#ifndef TIRN_DEVICES_CDEVINFOSET_H
#define TIRN_DEVICES_CDEVINFOSET_H

#include "log/CHandleOwner.h"

#include <windows.h>
#include <setupapi.h>

bool DestroyDevInfoSet(HDEVINFO hDevInfo);

// A device information set; one that the platform did not make
// (INVALID_HANDLE_VALUE) is never handed back to it.
using CDevInfoSet = CHandleOwner<HDEVINFO, DestroyDevInfoSet, 0, -1>;

#endif
