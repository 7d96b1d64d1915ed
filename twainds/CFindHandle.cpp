#include "twainds/CFindHandle.h"

CFindHandle::~CFindHandle()
{
    Close();
}

bool CFindHandle::First(const char* szPattern, struct _finddata64i32_t* pFindData)
{
    Close();
    m_hFind = _findfirst64i32(szPattern, pFindData);
    return IsOpen();
}

bool CFindHandle::Next(struct _finddata64i32_t* pFindData)
{
    return IsOpen() && _findnext64i32(m_hFind, pFindData) == 0;
}

void CFindHandle::Close()
{
    if (IsOpen())
        _findclose(m_hFind);
    m_hFind = -1;
}
