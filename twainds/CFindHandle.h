#ifndef TIRN_TWAINDS_CFINDHANDLE_H
#define TIRN_TWAINDS_CFINDHANDLE_H

#include "log/CHandleOwner.h"

#include <io.h>
#include <stdint.h>

bool CloseFind(intptr_t hFind);

// A search of the runtime's find-first family, which fails with -1.
class CFindHandle : public CHandleOwner<intptr_t, CloseFind, -1>
{
public:
    // Starts a search: 0, or the runtime's errno, ENOENT when nothing
    // matches, and the search closed.
    int First(const char* szPattern, struct _finddata64i32_t* pFindData);
    // The next entry: 0, or errno, ENOENT after the last one.
    int Next(struct _finddata64i32_t* pFindData);
};

#endif
