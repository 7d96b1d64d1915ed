// Loaded into the product before its entry point (the fault loop adds it to
// the product's imports in memory). Points every import slot of the exe
// that has a fault rule at a small wrapper, and hands wrappers out for the
// functions the delay-load helper asks GetProcAddress for. Each wrapper
// counts the call; the call numbered TIRN_FAULT_AT fails as its rule says.
// TIRN_FAULT_RECORD names a file that gets one line per counted call, and
// "unruled <name>" for a name without a rule.
#include "FaultRules.h"

#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>

namespace
{
struct Wrapper
{
    const FaultRule* pRule;
    void* pOriginal;
    unsigned char code[80];
};

constexpr int kMaxWrappers = 256;
Wrapper* g_pWrappers = nullptr; // executable memory
int g_nWrappers = 0;
long g_nCalls = 0;
long g_nFailAt = 0;
HANDLE g_hRecord = INVALID_HANDLE_VALUE;
int* (*g_pfnErrno)() = nullptr; // the product's msvcrt's errno

void Record(const char* szFormat, const char* szName, int nError = 0)
{
    char sz[160];
    int cch = snprintf(sz, sizeof(sz), szFormat, g_nCalls, szName, nError);
    DWORD cbWritten;
    if (cch > 0 && g_hRecord != INVALID_HANDLE_VALUE)
        WriteFile(g_hRecord, sz, static_cast<DWORD>(cch), &cbWritten, NULL);
}

// Apart, so that the compiler cannot merge the two calls: in 32-bit code
// only the second one's callee pops the argument.
__attribute__((noinline)) void ReleaseCdecl(void* pfnClose, void* h)
{
    reinterpret_cast<int (*)(void*)>(pfnClose)(h);
}
__attribute__((noinline)) void ReleaseStdcall(void* pfnClose, void* h)
{
    reinterpret_cast<int(WINAPI*)(void*)>(pfnClose)(h);
}

// Called by every wrapper before the real function: nonzero makes the
// wrapper return the rule's failure value instead.
extern "C" int Decide(int iWrapper, void* pFirstArgument)
{
    const FaultRule& rule = *g_pWrappers[iWrapper].pRule;
    if (rule.kind != FaultKind::LastError && rule.kind != FaultKind::Returned && rule.kind != FaultKind::Errno)
        return 0;
    DWORD dwSaved = GetLastError();
    ++g_nCalls;
    if (g_nCalls != g_nFailAt)
    {
        Record("%ld %s\n", rule.szName);
        SetLastError(dwSaved);
        return 0;
    }
    Record("%ld %s failed %d\n", rule.szName, rule.error);
    void* pOriginal = g_pWrappers[iWrapper].pOriginal;
    if (rule.bReleases && rule.argBytes32 == 0)
        ReleaseCdecl(pOriginal, pFirstArgument);
    else if (rule.bReleases)
        ReleaseStdcall(pOriginal, pFirstArgument);
    if (rule.kind == FaultKind::LastError)
        SetLastError(rule.error);
    else if (rule.kind == FaultKind::Errno && g_pfnErrno != nullptr)
        *g_pfnErrno() = rule.error;
    return 1;
}

template <typename T> void Emit(unsigned char*& p, T value)
{
    memcpy(p, &value, sizeof(value));
    p += sizeof(value);
}
void Emit(unsigned char*& p, std::initializer_list<unsigned char> bytes)
{
    for (unsigned char b : bytes)
        *p++ = b;
}

// The wrapper keeps the caller's stack and argument registers, asks Decide,
// then either jumps to the real function (so an exception there never sees
// the wrapper) or returns the failure value, popping the 32-bit stdcall
// arguments itself.
void* MakeWrapper(const FaultRule* pRule, void* pOriginal)
{
    if (pRule->kind == FaultKind::Untouched || pRule->kind == FaultKind::Passed || g_nWrappers == kMaxWrappers)
        return pOriginal;
    Wrapper& w = g_pWrappers[g_nWrappers];
    w.pRule = pRule;
    w.pOriginal = pOriginal;
    unsigned char* p = w.code;
#ifdef _WIN64
    Emit(p, {0x51, 0x52, 0x41, 0x50, 0x41, 0x51});    // push rcx, rdx, r8, r9
    Emit(p, {0x48, 0x83, 0xEC, 0x28});                // sub rsp, 40
    Emit(p, {0x48, 0x89, 0xCA});                      // mov rdx, rcx
    Emit(p, {0xB9}), Emit(p, int32_t(g_nWrappers));   // mov ecx, index
    Emit(p, {0x48, 0xB8}), Emit(p, &Decide);          // mov rax, Decide
    Emit(p, {0xFF, 0xD0});                            // call rax
    Emit(p, {0x48, 0x83, 0xC4, 0x28});                // add rsp, 40
    Emit(p, {0x41, 0x59, 0x41, 0x58, 0x5A, 0x59});    // pop r9, r8, rdx, rcx
    Emit(p, {0x85, 0xC0, 0x75, 0x0C});                // test eax, eax; jnz fail
    Emit(p, {0x48, 0xB8}), Emit(p, pOriginal);        // mov rax, original
    Emit(p, {0xFF, 0xE0});                            // jmp rax
    Emit(p, {0x48, 0xB8}), Emit(p, pRule->failValue); // fail: mov rax, value
    Emit(p, {0xC3});                                  // ret
#else
    Emit(p, {0xFF, 0x74, 0x24, 0x04});                                    // push first argument
    Emit(p, {0x68}), Emit(p, int32_t(g_nWrappers));                       // push index
    Emit(p, {0xB8}), Emit(p, &Decide);                                    // mov eax, Decide
    Emit(p, {0xFF, 0xD0, 0x83, 0xC4, 0x08});                              // call eax; add esp, 8
    Emit(p, {0x85, 0xC0, 0x75, 0x07});                                    // test eax, eax; jnz fail
    Emit(p, {0xB8}), Emit(p, pOriginal);                                  // mov eax, original
    Emit(p, {0xFF, 0xE0});                                                // jmp eax
    Emit(p, {0xB8}), Emit(p, int32_t(pRule->failValue));                  // fail: mov eax, value
    Emit(p, {0xC2}), Emit(p, static_cast<uint16_t>(pRule->argBytes32));   // ret bytes
#endif
    ++g_nWrappers;
    return w.code;
}

const FaultRule* RuleOrRecord(const char* szName)
{
    const FaultRule* pRule = FindFaultRule(szName);
    if (pRule == nullptr)
        Record("%ld unruled %s\n", szName);
    return pRule;
}

// What the exe's GetProcAddress slot leads to, behind its wrapper: the
// wrapper of the function asked for.
FARPROC WINAPI WrappingGetProcAddress(HMODULE hModule, LPCSTR szName)
{
    FARPROC pfn = GetProcAddress(hModule, szName);
    if (pfn == nullptr || reinterpret_cast<uintptr_t>(szName) <= 0xFFFF)
        return pfn;
    DWORD dwSaved = GetLastError();
    for (int i = 0; i < g_nWrappers; ++i)
        if (g_pWrappers[i].pOriginal == reinterpret_cast<void*>(pfn))
            return reinterpret_cast<FARPROC>(reinterpret_cast<void*>(g_pWrappers[i].code));
    const FaultRule* pRule = RuleOrRecord(szName);
    SetLastError(dwSaved);
    return pRule == nullptr ? pfn
                            : reinterpret_cast<FARPROC>(MakeWrapper(pRule, reinterpret_cast<void*>(pfn)));
}

void WrapImports()
{
    auto* pBase = reinterpret_cast<unsigned char*>(GetModuleHandleA(NULL));
    auto* pNt = reinterpret_cast<IMAGE_NT_HEADERS*>(pBase + reinterpret_cast<IMAGE_DOS_HEADER*>(pBase)->e_lfanew);
    const IMAGE_DATA_DIRECTORY& dir = pNt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    HMODULE hSelf = NULL;
    GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCSTR>(&WrapImports), &hSelf);
    for (auto* pDesc = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(pBase + dir.VirtualAddress); pDesc->Name != 0;
         ++pDesc)
    {
        if (GetModuleHandleA(reinterpret_cast<char*>(pBase + pDesc->Name)) == hSelf)
            continue;
        auto* pName = reinterpret_cast<IMAGE_THUNK_DATA*>(pBase + pDesc->OriginalFirstThunk);
        auto* pSlot = reinterpret_cast<IMAGE_THUNK_DATA*>(pBase + pDesc->FirstThunk);
        for (; pName->u1.AddressOfData != 0; ++pName, ++pSlot)
        {
            if (IMAGE_SNAP_BY_ORDINAL(pName->u1.Ordinal))
                continue;
            const char* szName = reinterpret_cast<IMAGE_IMPORT_BY_NAME*>(pBase + pName->u1.AddressOfData)->Name;
            const FaultRule* pRule = RuleOrRecord(szName);
            if (pRule == nullptr)
                continue;
            void* pOriginal = reinterpret_cast<void*>(pSlot->u1.Function);
            if (strcmp(szName, "GetProcAddress") == 0)
                pOriginal = reinterpret_cast<void*>(&WrappingGetProcAddress);
            DWORD dwOld;
            VirtualProtect(&pSlot->u1.Function, sizeof(void*), PAGE_READWRITE, &dwOld);
            pSlot->u1.Function = reinterpret_cast<uintptr_t>(MakeWrapper(pRule, pOriginal));
            VirtualProtect(&pSlot->u1.Function, sizeof(void*), dwOld, &dwOld);
        }
    }
}
} // namespace

extern "C" __declspec(dllexport) void TirnFaultHook() {}

BOOL WINAPI DllMain(HINSTANCE, DWORD dwReason, LPVOID)
{
    if (dwReason != DLL_PROCESS_ATTACH)
        return TRUE;
    const char* szAt = getenv("TIRN_FAULT_AT");
    const char* szRecord = getenv("TIRN_FAULT_RECORD");
    g_nFailAt = szAt != nullptr ? atol(szAt) : 0;
    if (szRecord != nullptr)
        g_hRecord = CreateFileA(szRecord, FILE_APPEND_DATA, FILE_SHARE_READ, NULL, CREATE_ALWAYS, 0, NULL);
    HMODULE hCrt = GetModuleHandleA("msvcrt.dll");
    if (hCrt != NULL)
        g_pfnErrno = reinterpret_cast<int* (*)()>(reinterpret_cast<void*>(GetProcAddress(hCrt, "_errno")));
    g_pWrappers = static_cast<Wrapper*>(
        VirtualAlloc(NULL, sizeof(Wrapper) * kMaxWrappers, MEM_COMMIT | MEM_RESERVE, PAGE_EXECUTE_READWRITE));
    if (g_pWrappers != nullptr)
        WrapImports();
    return TRUE;
}
