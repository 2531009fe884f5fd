// winsim: version data of the machine's files, as tests and the program launcher attach
// it (see winver.h for what the programs see).
#pragma once

#include "machine.h"

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace winsim::version {

struct Translation {
    WORD language = 0x0409;
    WORD codepage = 1200;
};

struct StringTable {
    Translation id;
    std::vector<std::pair<std::wstring, std::wstring>> strings;  // name, value
};

struct VersionInfo {
    DWORD file_ms = 0, file_ls = 0;  // file version, e.g. 1.2 and 3.4 as 0x00010002, 0x00030004
    DWORD product_ms = 0, product_ls = 0;
    DWORD file_type = 1;                    // VFT_APP
    std::vector<Translation> translations;  // \VarFileInfo\Translation, in order
    std::vector<StringTable> tables;        // \StringFileInfo

    // One translation with one table of these strings.
    static VersionInfo WithStrings(Translation t, std::vector<std::pair<std::wstring, std::wstring>> strings);
};

// Attaches version data to an existing file (a full Windows path, no redirection); false
// when the file does not exist. Kept in the machine's store until detached, whatever
// happens to the file later.
bool Attach(Machine& m, const std::wstring& path, const VersionInfo& info);
void Detach(Machine& m, const std::wstring& path);
std::optional<VersionInfo> Find(Machine& m, const std::wstring& path);

// The block GetFileVersionInfoW hands out for info, and back.
std::vector<uint8_t> Block(const VersionInfo& info);
std::optional<VersionInfo> ParseBlock(const uint8_t* block, size_t size);

// "1.2.3.4" as the two version DWORDs; false when the text is not four numbers.
bool ParseVersion(const std::wstring& text, DWORD* ms, DWORD* ls);

}  // namespace winsim::version
