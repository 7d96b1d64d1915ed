// The vocabulary of the tests: data-source paths below twain_32 and the
// lines that runs write to their logs.
#pragma once

#include <string>
#include <vector>

using Lines = std::vector<std::string>;
Lines operator+(Lines a, const Lines& b);

std::string Inst(int i); // "0007"

std::string Generic(); // twain_32\zbxgnds2
std::string DsDir(const std::string& inst, const std::string& prefix = "vrtk_");
std::string Staged(const std::string& inst, const std::string& prefix = "vrtk_");
std::string DsFile(const std::string& inst, const std::string& prefix = "vrtk_");

// The arguments as AddDS and RemoveDS log them, and as MAddDS and MRemoveDS do.
Lines SingleHeader(const std::string& id, const std::string& prefix, const std::string& checkKey,
                   const std::string& checkValue, const std::string& paramsKey);
Lines Header(int bAdd, const std::string& prefix = "vrtk_", const std::string& checkKey = "DeviceData");

// The enumerator's lines.
std::string EnumLine(int result, int idx);
std::string PropertyLine(int result, const std::string& text);
std::string SkipLine(int error);
std::string EndLine(int idx);
// One device obtained; an empty instance is a device without a Driver value.
Lines Device(int idx, const std::string& inst);
Lines WalkEnd(int idx);

// The file lines of MAddDS and MRemoveDS for one device.
Lines Paths(const std::string& inst, const std::string& prefix = "vrtk_");
Lines Copied(const std::string& inst, const std::string& prefix = "vrtk_");
std::string Removed(const std::string& path);
// The path lines of AddDS and of RemoveDS for one device.
Lines AddPaths(const std::string& inst, const std::string& prefix = "vrtk_");
Lines RemovePaths(const std::string& inst, const std::string& prefix = "vrtk_");

extern const char kCorvelLine[]; // "CorvelCLSID value name exists"
extern const char kAssumeTIRN[]; // "TwainDSmodule value not found, assume TIRN device"
