// winsim: shlwapi's path functions (see shlwapi.h for the rules).
#include <windows.h>
#include <shlwapi.h>

#include <cwchar>
#include <string>
#include <vector>

namespace {

bool HasDrive(const std::wstring& p) { return p.size() >= 2 && p[1] == L':'; }
bool IsUnc(const std::wstring& p) { return p.size() >= 2 && p[0] == L'\\' && p[1] == L'\\'; }

// The root of a path: "C:\", "C:", "\\" (UNC prefix), "\" or "".
std::wstring RootOf(const std::wstring& p) {
    if (HasDrive(p)) return p.size() >= 3 && p[2] == L'\\' ? p.substr(0, 3) : p.substr(0, 2);
    if (IsUnc(p)) return L"\\\\";
    if (!p.empty() && p[0] == L'\\') return L"\\";
    return L"";
}

std::wstring Canonical(const std::wstring& p) {
    std::wstring root = RootOf(p);
    std::wstring rest = p.substr(root.size());
    bool trailing = !rest.empty() && rest.back() == L'\\';
    std::vector<std::wstring> parts;
    size_t start = 0;
    for (size_t i = 0; i <= rest.size(); ++i) {
        if (i < rest.size() && rest[i] != L'\\') continue;
        std::wstring seg = rest.substr(start, i - start);
        start = i + 1;
        if (i == rest.size() && seg.empty()) break;
        if (seg == L".") continue;
        if (seg == L"..") {
            if (!parts.empty()) parts.pop_back();
            continue;
        }
        parts.push_back(seg);
    }
    std::wstring out = root;
    for (size_t i = 0; i < parts.size(); ++i) {
        if (i) out += L'\\';
        out += parts[i];
    }
    if (trailing && !parts.empty()) out += L'\\';
    if (out.size() == 2 && HasDrive(out)) out += L'\\';
    if (out.empty()) out = L"\\";
    return out;
}

bool Store(LPWSTR dest, const std::wstring& s) {
    if (s.size() >= MAX_PATH) return false;
    wmemcpy(dest, s.data(), s.size());
    dest[s.size()] = 0;
    return true;
}

}  // namespace

extern "C" {

BOOL WINAPI PathIsRelativeW(LPCWSTR path) {
    if (!path || !*path) return TRUE;
    return (path[0] == L'\\' || path[1] == L':') ? FALSE : TRUE;
}

LPWSTR WINAPI PathCombineW(LPWSTR dest, LPCWSTR dir, LPCWSTR file) {
    if (!dest) return NULL;
    if (!dir && !file) {
        dest[0] = 0;
        return NULL;
    }
    std::wstring d = dir ? dir : L"", f = file ? file : L"";
    std::wstring joined;
    if (HasDrive(f) || IsUnc(f) || d.empty()) {
        joined = f;
    } else if (f.empty()) {
        joined = d;
    } else if (!f.empty() && f[0] == L'\\') {
        std::wstring root = RootOf(d);
        if (HasDrive(root))
            root = root.substr(0, 2);
        else
            root.clear();
        joined = root + f;
    } else {
        joined = d;
        if (joined.back() != L'\\') joined += L'\\';
        joined += f;
    }
    std::wstring c = Canonical(joined);
    if (!Store(dest, c)) {
        dest[0] = 0;
        return NULL;
    }
    return dest;
}

BOOL WINAPI PathAppendW(LPWSTR path, LPCWSTR more) {
    if (!path || !more) return FALSE;
    if (!(more[0] == L'\\' && more[1] == L'\\'))
        while (*more == L'\\') ++more;
    WCHAR out[MAX_PATH];
    if (!PathCombineW(out, path, more)) return FALSE;
    wcscpy(path, out);
    return TRUE;
}

BOOL WINAPI PathFileExistsW(LPCWSTR path) {
    if (!path) return FALSE;
    return GetFileAttributesW(path) != INVALID_FILE_ATTRIBUTES ? TRUE : FALSE;
}

BOOL WINAPI PathIsDirectoryW(LPCWSTR path) {
    if (!path) return FALSE;
    DWORD a = GetFileAttributesW(path);
    if (a == INVALID_FILE_ATTRIBUTES || !(a & FILE_ATTRIBUTE_DIRECTORY)) return FALSE;
    return FILE_ATTRIBUTE_DIRECTORY;
}

BOOL WINAPI PathIsDirectoryEmptyW(LPCWSTR path) {
    if (!PathIsDirectoryW(path)) return FALSE;
    std::wstring pattern = path;
    if (pattern.back() != L'\\') pattern += L'\\';
    pattern += L'*';
    WIN32_FIND_DATAW fd;
    HANDLE h = FindFirstFileW(pattern.c_str(), &fd);
    if (h == INVALID_HANDLE_VALUE) return TRUE;
    BOOL empty = TRUE;
    do {
        if (wcscmp(fd.cFileName, L".") != 0 && wcscmp(fd.cFileName, L"..") != 0) {
            empty = FALSE;
            break;
        }
    } while (FindNextFileW(h, &fd));
    FindClose(h);
    return empty;
}

LPWSTR WINAPI PathFindFileNameW(LPCWSTR path) {
    if (!path) return NULL;
    LPCWSTR name = path;
    for (LPCWSTR p = path; *p; ++p) {
        if ((*p == L'\\' || *p == L':' || *p == L'/') && p[1] && p[1] != L'\\' && p[1] != L'/') name = p + 1;
    }
    return const_cast<LPWSTR>(name);
}

void WINAPI PathStripPathW(LPWSTR path) {
    if (!path) return;
    LPWSTR name = PathFindFileNameW(path);
    if (name != path) wmemmove(path, name, wcslen(name) + 1);
}

LPWSTR WINAPI PathFindExtensionW(LPCWSTR path) {
    if (!path) return NULL;
    LPCWSTR dot = NULL;
    LPCWSTR p = path;
    for (; *p; ++p) {
        if (*p == L'\\' || *p == L' ')
            dot = NULL;
        else if (*p == L'.')
            dot = p;
    }
    return const_cast<LPWSTR>(dot ? dot : p);
}

void WINAPI PathRemoveExtensionW(LPWSTR path) {
    if (path) *PathFindExtensionW(path) = 0;
}

BOOL WINAPI PathRenameExtensionW(LPWSTR path, LPCWSTR ext) {
    if (!path || !ext) return FALSE;
    LPWSTR at = PathFindExtensionW(path);
    size_t len = static_cast<size_t>(at - path) + wcslen(ext);
    if (len >= MAX_PATH) return FALSE;
    wcscpy(at, ext);
    return TRUE;
}

BOOL WINAPI PathRemoveFileSpecW(LPWSTR path) {
    if (!path || !*path) return FALSE;
    std::wstring p = path;
    size_t from = IsUnc(p) ? 2 : 0;
    size_t last = p.rfind(L'\\');
    if (last == std::wstring::npos || last < from) {
        // No separator of its own: "C:name" keeps "C:", "name" becomes "", "\\server" "\\".
        size_t keep = HasDrive(p) ? 2 : from;
        if (keep >= p.size()) return FALSE;
        path[keep] = 0;
        return TRUE;
    }
    size_t keep = last;
    if (last == 0 || (HasDrive(p) && last == 2)) keep = last + 1;  // the root's backslash stays
    if (keep >= p.size()) return FALSE;
    path[keep] = 0;
    return TRUE;
}

LPWSTR WINAPI PathAddBackslashW(LPWSTR path) {
    if (!path) return NULL;
    size_t len = wcslen(path);
    if (len == 0) return path;
    if (path[len - 1] == L'\\') return path + len;
    if (len + 1 >= MAX_PATH) return NULL;
    path[len] = L'\\';
    path[len + 1] = 0;
    return path + len + 1;
}

LPWSTR WINAPI PathRemoveBackslashW(LPWSTR path) {
    if (!path) return NULL;
    size_t len = wcslen(path);
    if (len == 0) return path;
    LPWSTR last = path + len - 1;
    bool root = len == 1 || (len == 3 && path[1] == L':');
    if (*last == L'\\' && !root) *last = 0;
    return last;
}

LPWSTR WINAPI PathGetArgsW(LPCWSTR path) {
    if (!path) return NULL;
    bool quoted = false;
    for (; *path; ++path) {
        if (*path == L' ' && !quoted) return const_cast<LPWSTR>(path + 1);
        if (*path == L'"') quoted = !quoted;
    }
    return const_cast<LPWSTR>(path);
}

void WINAPI PathUnquoteSpacesW(LPWSTR s) {
    if (!s || s[0] != L'"') return;
    size_t len = wcslen(s);
    if (len < 2 || s[len - 1] != L'"') return;
    wmemmove(s, s + 1, len - 2);
    s[len - 2] = 0;
}

void WINAPI PathQuoteSpacesW(LPWSTR s) {
    if (!s || !wcschr(s, L' ')) return;
    size_t len = wcslen(s);
    if (len + 3 > MAX_PATH) return;
    wmemmove(s + 1, s, len);
    s[0] = L'"';
    s[len + 1] = L'"';
    s[len + 2] = 0;
}

}  // extern "C"
