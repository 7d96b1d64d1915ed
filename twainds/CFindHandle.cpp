#include "twainds/CFindHandle.h"

#include <cerrno>

bool CloseFind(intptr_t hFind)
{
    return _findclose(hFind) == 0;
}

int CFindHandle::First(const char* szPattern, struct _finddata64i32_t* pFindData)
{
    intptr_t hFind = _findfirst64i32(szPattern, pFindData);
    int nErrno = hFind == -1 ? errno : 0;
    Reset(hFind);
    return nErrno;
}

int CFindHandle::Next(struct _finddata64i32_t* pFindData)
{
    if (!IsValid())
        return ENOENT;
    return _findnext64i32(Get(), pFindData) == 0 ? 0 : errno;
}
