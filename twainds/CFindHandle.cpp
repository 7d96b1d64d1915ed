#include "twainds/CFindHandle.h"

bool CloseFind(intptr_t hFind)
{
    return _findclose(hFind) == 0;
}

bool CFindHandle::First(const char* szPattern, struct _finddata64i32_t* pFindData)
{
    Reset(_findfirst64i32(szPattern, pFindData));
    return IsValid();
}

bool CFindHandle::Next(struct _finddata64i32_t* pFindData)
{
    return IsValid() && _findnext64i32(Get(), pFindData) == 0;
}
