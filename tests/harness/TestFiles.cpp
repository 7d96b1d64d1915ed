#include "TestFiles.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>

namespace
{

bool IsDots(const char* name)
{
    return lstrcmpA(name, ".") == 0 || lstrcmpA(name, "..") == 0;
}

std::string WithSlash(const std::string& dir)
{
    if (!dir.empty() && dir.back() != '\\' && dir.back() != '/')
        return dir + "\\";
    return dir;
}

void CollectTree(const std::string& root, const std::string& rel, std::vector<std::string>& out)
{
    WIN32_FIND_DATAA fd;
    HANDLE hFind = FindFirstFileA((root + rel + "*").c_str(), &fd);
    if (hFind == INVALID_HANDLE_VALUE)
        return;
    do
    {
        if (IsDots(fd.cFileName))
            continue;
        std::string path = rel + fd.cFileName;
        if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
        {
            out.push_back(path + "\\");
            CollectTree(root, path + "\\", out);
        }
        else
        {
            out.push_back(path);
        }
    } while (FindNextFileA(hFind, &fd));
    FindClose(hFind);
}

bool DeleteOne(const std::string& path, bool isDir)
{
    SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    if (isDir ? RemoveDirectoryA(path.c_str()) : DeleteFileA(path.c_str()))
        return true;
    DWORD err = GetLastError();
    if (err == ERROR_FILE_NOT_FOUND || err == ERROR_PATH_NOT_FOUND)
        return true;
    ADD_FAILURE() << "cannot delete " << path << ": error " << err;
    return false;
}

// False if something could not be deleted (reported already); the folders
// above it are then left alone instead of failing again as not empty.
bool RemoveBelow(const std::string& dir)
{
    WIN32_FIND_DATAA fd;
    HANDLE hFind = FindFirstFileA((dir + "\\*").c_str(), &fd);
    if (hFind == INVALID_HANDLE_VALUE)
        return true;
    std::vector<std::pair<std::string, bool>> entries;
    do
    {
        if (!IsDots(fd.cFileName))
            entries.emplace_back(dir + "\\" + fd.cFileName, (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0);
    } while (FindNextFileA(hFind, &fd));
    FindClose(hFind);

    bool ok = true;
    for (const auto& entry : entries)
    {
        if (entry.second && !RemoveBelow(entry.first))
            ok = false;
        else if (!DeleteOne(entry.first, entry.second))
            ok = false;
    }
    return ok;
}

std::string UnixPath(const std::string& path)
{
    typedef char*(CDECL * UnixNameOf)(LPCWSTR);
    auto unixNameOf = reinterpret_cast<UnixNameOf>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "wine_get_unix_file_name")));
    std::wstring wide(path.begin(), path.end());
    char* unixName = unixNameOf ? unixNameOf(wide.c_str()) : nullptr;
    if (unixName == nullptr)
    {
        ADD_FAILURE() << "no Unix name for " << path;
        return "/nonexistent/" + path;
    }
    std::string out = unixName;
    HeapFree(GetProcessHeap(), 0, unixName);
    return out;
}

// Runs a shell command line and gives its status. Wine starts a Unix program
// like any other but gives no process to wait for: the shell writes the
// status to a file when it is done.
int RunUnix(const std::string& command)
{
    const std::string done = TempDir() + "unix-status.txt";
    DeleteFileA(done.c_str());
    STARTUPINFOA si = {};
    si.cb = sizeof(si);
    PROCESS_INFORMATION pi = {};
    std::string line = "Z:\\bin\\sh -c \"" + command + "; echo $? >" + UnixPath(done) + "\"";
    if (!CreateProcessA(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
    {
        ADD_FAILURE() << "cannot start " << line << ": error " << GetLastError();
        return -1;
    }
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    std::string status;
    for (int i = 0; i < 500 && (status.empty() || status.back() != '\n'); ++i, Sleep(20))
        ReadBytes(done, status);
    DeleteFileA(done.c_str());
    if (status.empty())
        ADD_FAILURE() << "no end seen of " << command;
    return status.empty() ? -1 : std::atoi(status.c_str());
}

} // namespace

CDanglingLink::CDanglingLink(const std::string& path) : m_unixPath(UnixPath(path))
{
    RunUnix("ln -s /nonexistent/target " + m_unixPath);
}

CDanglingLink::~CDanglingLink()
{
    RunUnix("rm -f " + m_unixPath);
}

CSmallDisk::CSmallDisk(const std::string& dir, int kb) : m_unixPath(UnixPath(dir))
{
    m_bMounted = RunUnix("mount -t tmpfs -o size=" + std::to_string(kb) + "k tmpfs " + m_unixPath) == 0;
}

CSmallDisk::~CSmallDisk()
{
    if (m_bMounted)
        RunUnix("umount " + m_unixPath);
}

std::string TwainDir()
{
    char buf[MAX_PATH];
    UINT len = GetWindowsDirectoryA(buf, MAX_PATH);
    if (len == 0 || len >= MAX_PATH)
    {
        ADD_FAILURE() << "GetWindowsDirectoryA failed: " << GetLastError();
        return "C:\\windows\\twain_32";
    }
    return WithSlash(std::string(buf, len)) + "twain_32";
}

std::string TempDir()
{
    char buf[MAX_PATH + 1];
    DWORD len = GetTempPathA(sizeof(buf), buf);
    if (len == 0 || len >= sizeof(buf))
    {
        ADD_FAILURE() << "GetTempPathA failed: " << GetLastError();
        return std::string();
    }
    return WithSlash(std::string(buf, len));
}

std::string LogPath(const std::string& suffix)
{
    return TempDir() + suffix;
}

std::wstring Wide(const std::string& text)
{
    std::wstring wide(text.size(), L'\0');
    int len = MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), &wide[0],
                                  static_cast<int>(wide.size()));
    wide.resize(len > 0 ? len : 0);
    return wide;
}

namespace
{
bool ReadBytes(const std::wstring& path, std::string& bytes)
{
    bytes.clear();
    HANDLE hFile = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                               nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (hFile == INVALID_HANDLE_VALUE)
        return false;
    char buf[65536];
    DWORD got = 0;
    bool ok = true;
    for (;;)
    {
        if (!ReadFile(hFile, buf, sizeof(buf), &got, nullptr))
        {
            ok = false;
            break;
        }
        if (got == 0)
            break;
        bytes.append(buf, got);
    }
    CloseHandle(hFile);
    return ok;
}
} // namespace

bool ReadBytes(const std::string& path, std::string& bytes)
{
    return ReadBytes(Wide(path), bytes);
}

std::string ReadBytes(const std::string& path)
{
    return ReadBytes(Wide(path));
}

std::string ReadBytes(const std::wstring& path)
{
    std::string bytes;
    ReadBytes(path, bytes);
    return bytes;
}

void WriteBytes(const std::string& path, const std::string& bytes)
{
    WriteBytes(Wide(path), bytes);
}

void WriteBytes(const std::wstring& path, const std::string& bytes)
{
    HANDLE hFile = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (hFile == INVALID_HANDLE_VALUE)
    {
        ADD_FAILURE() << "cannot create " << testing::PrintToString(path) << ": error " << GetLastError();
        return;
    }
    DWORD written = 0;
    if (!WriteFile(hFile, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) || written != bytes.size())
        ADD_FAILURE() << "cannot write " << testing::PrintToString(path) << ": error " << GetLastError();
    CloseHandle(hFile);
}

void Put(const std::string& path, const std::string& bytes)
{
    for (size_t at = path.find('\\', 3); at != std::string::npos; at = path.find('\\', at + 1))
        CreateDirectoryA(path.substr(0, at).c_str(), nullptr);
    WriteBytes(path, bytes);
}

std::vector<std::string> ListDir(const std::string& dir)
{
    std::vector<std::string> names;
    WIN32_FIND_DATAA fd;
    HANDLE hFind = FindFirstFileA((WithSlash(dir) + "*").c_str(), &fd);
    for (bool more = hFind != INVALID_HANDLE_VALUE; more; more = FindNextFileA(hFind, &fd))
        if (lstrcmpA(fd.cFileName, "_add_ds.log") != 0 && lstrcmpA(fd.cFileName, "_remove_ds.log") != 0)
            names.push_back(fd.cFileName);
    if (hFind != INVALID_HANDLE_VALUE)
        FindClose(hFind);
    std::sort(names.begin(), names.end());
    return names;
}

HANDLE OpenShared(const std::string& path, DWORD access, DWORD share)
{
    return CreateFileA(path.c_str(), access, share, nullptr, OPEN_EXISTING, 0, nullptr);
}

HANDLE Hold(const std::string& path, DWORD share, DWORD access)
{
    HANDLE h = OpenShared(path, access, share);
    EXPECT_NE(h, INVALID_HANDLE_VALUE) << path << ": error " << GetLastError();
    return h;
}

bool Exists(const std::string& path)
{
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::vector<std::string> ListTree(const std::string& dir)
{
    std::vector<std::string> out;
    CollectTree(WithSlash(dir), std::string(), out);
    std::sort(out.begin(), out.end());
    return out;
}

void RemoveTree(const std::string& dir)
{
    std::string path = dir;
    while (path.size() > 3 && (path.back() == '\\' || path.back() == '/'))
        path.pop_back();
    DWORD attr = GetFileAttributesA(path.c_str());
    if (attr == INVALID_FILE_ATTRIBUTES)
        return;
    const bool isDir = (attr & FILE_ATTRIBUTE_DIRECTORY) != 0;
    if (!isDir || RemoveBelow(path))
        DeleteOne(path, isDir);
}

void ResetTwainDir()
{
    const std::string dir = TwainDir();
    RemoveTree(dir);
    if (!CreateDirectoryA(dir.c_str(), nullptr))
        ADD_FAILURE() << "cannot create " << dir << ": error " << GetLastError();
}

void RemoveLogs()
{
    for (const char* name :
         {"_add_ds.log", "_remove_ds.log", "_add_ds2.log", "_remove_ds2.log", "_add_ds.lock", "_remove_ds.lock"})
        RemoveTree(LogPath(name));
}
