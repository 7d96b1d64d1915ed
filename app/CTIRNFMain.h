#ifndef TIRN_APP_CTIRNFMAIN_H
#define TIRN_APP_CTIRNFMAIN_H

// The main object: reads the command line into its argument buffers and
// runs the selected function.
class CTIRNFMain
{
public:
    static constexpr int kArgSize = 260;
    static constexpr int kMaxArgs = 5;

    CTIRNFMain();
    virtual ~CTIRNFMain() {}

    CTIRNFMain(const CTIRNFMain&) = delete;
    CTIRNFMain& operator=(const CTIRNFMain&) = delete;

    bool Run(char* szCommandLine);
    bool NextArg(char* dest, const char* szDelimiters);
    // The function's code, 0 for none.
    int LookupFunction(const char* szFunction);

    // The command line that WinMain is handed: szProcessLine without the
    // program's name and the blanks and control characters after it.
    static char* SkipProgramName(char* szProcessLine);
    static bool IsHelpRequest(const char* szCommandLine);

    char m_szArgFunction[kArgSize];
    char m_szArgDeviceSWRegKey[kArgSize];
    char m_szArgCheckKeyValue[kArgSize];
    char m_szArgCheckKey[kArgSize];
    char m_szArgFilePrefix[kArgSize];
    char m_szArgGuid[kArgSize];
    char m_szArgLogging[kArgSize];
    bool m_bLogging;
    char* m_pszNextToken;
    // Set when an argument did not fit its buffer; the call is refused.
    bool m_bArgTooLong;

private:
    struct SFunction;
    static const SFunction kFunctions[];

    static const SFunction* FindFunction(const char* szFunction);
    bool ReadArgs(const SFunction& function);
    bool ReadLogging();
    void Dispatch(const SFunction& function);
};

#endif
