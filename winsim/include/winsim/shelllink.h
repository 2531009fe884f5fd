// winsim: the shell links that programs saved (IShellLinkW and IPersistFile::Save), read
// from their files of the Shell Link binary format.
#pragma once

#include "machine.h"

#include <optional>
#include <string>

namespace winsim::shelllink {

struct Link {
    std::wstring path;
    std::wstring arguments;
    std::wstring working_dir;
    std::wstring description;
    int show_cmd = 1;
};

// The link saved at the path, or nullopt when there is no file or it breaks the format.
std::optional<Link> Read(Machine& m, const std::wstring& full_winpath);

}  // namespace winsim::shelllink
