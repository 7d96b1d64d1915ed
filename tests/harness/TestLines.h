// The vocabulary of the tests: data-source paths below twain_32 and the
// lines that runs write to their logs.
#pragma once

#include <string>
#include <utility>
#include <vector>

using Lines = std::vector<std::string>;
Lines operator+(Lines a, const Lines& b);

std::string Inst(int i); // "0007"
Lines Sorted(Lines lines);

// An instance number, as text or as a number (7 is "0007").
struct Instance
{
    Instance(int i) : text(Inst(i)) {}
    Instance(const char* sz) : text(sz) {}
    Instance(std::string s) : text(std::move(s)) {}
    std::string text;
};

std::string Generic(); // twain_32\zbxgnds2
std::string DsDir(const Instance& inst, const std::string& prefix = "vrtk_");
std::string Staged(const Instance& inst, const std::string& prefix = "vrtk_");
std::string DsFile(const Instance& inst, const std::string& prefix = "vrtk_");
// The data-source directory with these files, each holding "data source " and its name.
void MakeDsDir(const Instance& inst, const Lines& files);

// The arguments as AddDS and RemoveDS log them, and as MAddDS and MRemoveDS do.
Lines SingleHeader(const std::string& id, const std::string& checkKey = "DeviceData",
                   const std::string& prefix = "vrtk_", const std::string& checkValue = "HardwareID",
                   const std::string& paramsKey = "SYSTEM\\Imaging\\Params");
Lines Header(int bAdd, const std::string& prefix = "vrtk_", const std::string& checkKey = "DeviceData");

// The enumerator's lines.
std::string EnumLine(int result, int idx);
std::string PropertyLine(int result, const std::string& text);
std::string SkipLine(int error);
std::string EndLine(int idx);
// One device obtained; an empty instance is a device without a Driver value.
Lines Device(int idx, const Instance& inst);
Lines WalkEnd(int idx);

// The file lines of MAddDS and MRemoveDS for one device.
Lines Paths(const Instance& inst, const std::string& prefix = "vrtk_");
Lines Copied(const Instance& inst, const std::string& prefix = "vrtk_");
std::string Removed(const std::string& path);
// The path lines of AddDS and of RemoveDS for one device.
Lines AddPaths(const Instance& inst, const std::string& prefix = "vrtk_");
Lines RemovePaths(const Instance& inst, const std::string& prefix = "vrtk_");

extern const char kCorvelLine[]; // "CorvelCLSID value name exists"
extern const char kAssumeTIRN[]; // "TwainDSmodule value not found, assume TIRN device"
