// winsim: the file-system model - Windows paths over host folders, short names,
// wildcards, stored attributes, pending operations and the machine profiles' folders.
#include "files_internal.h"

#include "internal.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <filesystem>
#include <map>
#include <unistd.h>

namespace stdfs = std::filesystem;

namespace winsim::files {

using namespace detail;

namespace {

bool IsAlpha(wchar_t c) { return (c >= L'A' && c <= L'Z') || (c >= L'a' && c <= L'z'); }
wchar_t UpperChar(wchar_t c) {
    if (c >= L'a' && c <= L'z') return c - 32;
    if (c >= 0xE0 && c <= 0xFE && c != 0xF7) return c - 32;
    return c;
}
bool StartsWith(const std::wstring& s, const wchar_t* p) { return s.compare(0, wcslen(p), p) == 0; }

std::vector<std::wstring> SplitComponents(const std::wstring& s) {
    std::vector<std::wstring> out;
    std::wstring cur;
    for (wchar_t c : s) {
        if (c == L'\\') {
            if (!cur.empty()) out.push_back(cur);
            cur.clear();
        } else {
            cur += c;
        }
    }
    if (!cur.empty()) out.push_back(cur);
    return out;
}

bool AllDots(const std::wstring& s) {
    return !s.empty() && std::all_of(s.begin(), s.end(), [](wchar_t c) { return c == L'.'; });
}

// Applies "." and ".." and the trailing-period rules to the components after root.
std::wstring Normalize(const std::wstring& root, const std::wstring& rest) {
    std::vector<std::wstring> comps = SplitComponents(rest);
    bool trailing = !rest.empty() && rest.back() == L'\\';
    std::vector<std::wstring> out;
    for (size_t i = 0; i < comps.size(); ++i) {
        std::wstring c = comps[i];
        bool last = i + 1 == comps.size() && !trailing;
        if (last) {
            if (c != L"." && c != L"..") {
                while (!c.empty() && (c.back() == L'.' || c.back() == L' ')) c.pop_back();
                if (c.empty()) {
                    trailing = true;
                    continue;
                }
            }
        } else if (c.size() > 1 && c.back() == L'.' && c[c.size() - 2] != L'.' && !AllDots(c)) {
            c.pop_back();
        }
        if (c == L".") continue;
        if (c == L"..") {
            if (!out.empty()) out.pop_back();
            continue;
        }
        out.push_back(c);
    }
    std::wstring r = root;
    for (size_t i = 0; i < out.size(); ++i) {
        if (i) r += L'\\';
        r += out[i];
    }
    if (trailing && !out.empty()) r += L'\\';
    return r;
}

// "C:\" of a current directory ("C:\x", or a UNC "\\server\share\x").
std::wstring RootOf(const std::wstring& dir) {
    if (dir.size() >= 2 && dir[1] == L':') return dir.substr(0, 2) + L"\\";
    if (StartsWith(dir, L"\\\\")) {
        size_t a = dir.find(L'\\', 2);
        size_t b = a == std::wstring::npos ? std::wstring::npos : dir.find(L'\\', a + 1);
        return (b == std::wstring::npos ? dir : dir.substr(0, b)) + L"\\";
    }
    return L"C:\\";
}

int64_t Ms1601ToUnixNs(int64_t ms) { return (ms - 11644473600000LL) * 1000000LL; }

// Short-name stem and extension of a long name (upper case, cleaned, cut to 6 and 3).
std::pair<std::wstring, std::wstring> ShortBasis(const std::wstring& name) {
    std::wstring s;
    for (wchar_t c : name)
        if (c != L' ') s += c;
    size_t lead = 0;
    while (lead < s.size() && s[lead] == L'.') ++lead;
    s = s.substr(lead);
    size_t dot = s.rfind(L'.');
    std::wstring base = dot == std::wstring::npos ? s : s.substr(0, dot);
    std::wstring ext = dot == std::wstring::npos ? L"" : s.substr(dot + 1);
    auto clean = [](const std::wstring& in, size_t max) {
        std::wstring o;
        for (wchar_t c : in) {
            if (o.size() >= max) break;
            if (c == L'.') continue;
            if (c > 0x7E || wcschr(L"+,;=[]", c)) c = L'_';
            o += UpperChar(c);
        }
        return o;
    };
    std::wstring b = clean(base, 6), e = clean(ext, 3);
    if (b.empty()) b = L"_";
    return {b, e};
}

// Token kinds of a compiled wildcard pattern.
enum Tok : int { kLit, kStar, kDosStar, kDosQm, kDosDot };
struct PatTok {
    Tok kind;
    wchar_t c;
};

std::vector<PatTok> CompilePattern(const std::wstring& p) {
    std::vector<PatTok> t;
    for (size_t i = 0; i < p.size(); ++i) {
        wchar_t c = p[i];
        wchar_t next = i + 1 < p.size() ? p[i + 1] : 0;
        if (c == L'*') {
            t.push_back({next == L'.' ? kDosStar : kStar, 0});
        } else if (c == L'?') {
            t.push_back({kDosQm, 0});
        } else if (c == L'.' && (next == 0 || next == L'?' || next == L'*')) {
            t.push_back({kDosDot, 0});
        } else {
            t.push_back({kLit, UpperChar(c)});
        }
    }
    return t;
}

struct Matcher {
    const std::vector<PatTok>& t;
    std::wstring n;  // upper-cased name
    size_t last_dot;
    std::vector<signed char> memo;

    bool M(size_t pi, size_t ni) {
        signed char& m = memo[pi * (n.size() + 1) + ni];
        if (m >= 0) return m != 0;
        bool r = Eval(pi, ni);
        m = r ? 1 : 0;
        return r;
    }
    bool Eval(size_t pi, size_t ni) {
        if (pi == t.size()) return ni == n.size();
        const PatTok& k = t[pi];
        switch (k.kind) {
        case kLit: return ni < n.size() && n[ni] == k.c && M(pi + 1, ni + 1);
        case kStar:
            for (size_t j = ni; j <= n.size(); ++j)
                if (M(pi + 1, j)) return true;
            return false;
        case kDosStar:
            // Any run of characters that does not take in the name's final period.
            for (size_t j = ni; j <= n.size(); ++j) {
                if (M(pi + 1, j)) return true;
                if (j == last_dot) break;
            }
            return false;
        case kDosQm:
            if (ni == n.size() || n[ni] == L'.') {
                size_t pj = pi;
                while (pj < t.size() && t[pj].kind == kDosQm) ++pj;
                return M(pj, ni);
            }
            return M(pi + 1, ni + 1);
        case kDosDot:
            if (ni == n.size()) return M(pi + 1, ni);
            return n[ni] == L'.' && M(pi + 1, ni + 1);
        }
        return false;
    }
};

}  // namespace

// ---------------------------------------------------------------------------------------
// Path forms

std::wstring FullPath(const std::wstring& path, const std::wstring& current_dir) {
    if (path.empty()) return L"";
    if (StartsWith(path, L"\\\\?\\")) return path;
    std::wstring s = path;
    std::replace(s.begin(), s.end(), L'/', L'\\');
    if (StartsWith(s, L"\\\\.\\")) return L"\\\\.\\" + Normalize(L"", s.substr(4));
    if (StartsWith(s, L"\\\\")) {
        // UNC: \\server\share\ is the root that ".." cannot leave.
        size_t a = s.find(L'\\', 2);
        if (a == std::wstring::npos) return s;
        size_t b = s.find(L'\\', a + 1);
        if (b == std::wstring::npos) return s;
        return Normalize(s.substr(0, b + 1), s.substr(b + 1));
    }
    std::wstring cwd = current_dir.empty() ? L"C:\\" : current_dir;
    if (s.size() >= 2 && IsAlpha(s[0]) && s[1] == L':') {
        if (s.size() >= 3 && s[2] == L'\\') return Normalize(s.substr(0, 3), s.substr(3));
        std::wstring root = std::wstring(1, UpperChar(s[0])) + L":\\";
        // Drive-relative: against the current directory when it is on that drive.
        std::wstring base = IEquals(RootOf(cwd), root) ? cwd : root;
        std::wstring croot = RootOf(base);
        std::wstring rest = base.substr(std::min(croot.size(), base.size()));
        if (!rest.empty() && rest.back() != L'\\') rest += L'\\';
        return Normalize(croot, rest + s.substr(2));
    }
    std::wstring root = RootOf(cwd);
    if (s[0] == L'\\') return Normalize(root, s.substr(1));
    std::wstring rest = cwd.size() > root.size() ? cwd.substr(root.size()) : L"";
    if (!rest.empty() && rest.back() != L'\\') rest += L'\\';
    return Normalize(root, rest + s);
}

std::wstring FullPath(const std::wstring& path) { return FullPath(path, CurrentProcess().current_dir); }

std::optional<std::string> HostPath(const std::wstring& winpath) {
    Resolved r = ResolveCurrent(winpath);
    if (r.error) return std::nullopt;
    return r.host;
}

std::optional<std::string> HostPath(Machine& m, const std::wstring& full_winpath) {
    Resolved r = Resolve(m, FullPath(full_winpath, L"C:\\"));
    if (r.error) return std::nullopt;
    return r.host;
}

std::wstring WindowsPath(Machine& m, const std::string& host_path) {
    std::string c = m.DriveRoot('C');
    std::wstring rel;
    wchar_t drive = L'Z';
    if (host_path == c || (host_path.compare(0, c.size(), c) == 0 && host_path[c.size()] == '/')) {
        drive = L'C';
        rel = Wide(host_path.substr(c.size()));
    } else {
        rel = Wide(host_path);
    }
    std::replace(rel.begin(), rel.end(), L'/', L'\\');
    while (!rel.empty() && rel[0] == L'\\') rel.erase(0, 1);
    while (!rel.empty() && rel.back() == L'\\') rel.pop_back();
    return std::wstring(1, drive) + L":\\" + rel;
}

bool IsValid83(const std::wstring& name) {
    if (name.empty() || name == L"." || name == L"..") return false;
    size_t dot = name.find(L'.');
    if (dot != std::wstring::npos && name.find(L'.', dot + 1) != std::wstring::npos) return false;
    size_t base = dot == std::wstring::npos ? name.size() : dot;
    size_t ext = dot == std::wstring::npos ? 0 : name.size() - dot - 1;
    if (base < 1 || base > 8 || ext > 3 || (dot != std::wstring::npos && ext == 0)) return false;
    for (wchar_t c : name) {
        if (c == L'.') continue;
        if (c <= 0x20 || c > 0x7E || wcschr(L"\"*+,/:;<=>?[\\]|", c)) return false;
    }
    return true;
}

namespace {
std::wstring ComposeShort(const std::pair<std::wstring, std::wstring>& basis, size_t index) {
    std::wstring tail = L"~" + std::to_wstring(index);
    std::wstring stem = basis.first.substr(0, std::min(basis.first.size(), 8 - std::min<size_t>(tail.size(), 7)));
    return stem + tail + (basis.second.empty() ? L"" : L"." + basis.second);
}
}  // namespace

std::wstring ShortName(const std::vector<std::wstring>& names, const std::wstring& name) {
    if (IsValid83(name)) return name;
    auto basis = ShortBasis(name);
    std::vector<std::wstring> same;
    for (const auto& n : names)
        if (!IsValid83(n) && ShortBasis(n) == basis) same.push_back(n);
    if (std::find(same.begin(), same.end(), name) == same.end()) same.push_back(name);
    std::sort(same.begin(), same.end(), NameLess);
    return ComposeShort(basis, std::find(same.begin(), same.end(), name) - same.begin() + 1);
}

namespace detail {
std::vector<std::wstring> ShortNames(const std::vector<std::wstring>& names) {
    std::vector<std::wstring> out(names.size());
    std::map<std::pair<std::wstring, std::wstring>, std::vector<size_t>> groups;
    for (size_t i = 0; i < names.size(); ++i) {
        if (IsValid83(names[i]))
            out[i] = names[i];
        else
            groups[ShortBasis(names[i])].push_back(i);
    }
    for (auto& [basis, members] : groups) {
        std::sort(members.begin(), members.end(), [&](size_t a, size_t b) { return NameLess(names[a], names[b]); });
        for (size_t k = 0; k < members.size(); ++k) out[members[k]] = ComposeShort(basis, k + 1);
    }
    return out;
}
}  // namespace detail

bool MatchPattern(const std::wstring& pattern, const std::wstring& name) {
    if (pattern.empty()) return false;
    std::vector<PatTok> t = CompilePattern(pattern);
    Matcher m{t, Upper(name), 0, {}};
    m.last_dot = m.n.rfind(L'.');
    m.memo.assign((t.size() + 1) * (m.n.size() + 1), -1);
    return m.M(0, 0);
}

// ---------------------------------------------------------------------------------------
// Resolution

namespace detail {

bool NameLess(const std::wstring& a, const std::wstring& b) {
    size_t n = std::min(a.size(), b.size());
    for (size_t i = 0; i < n; ++i) {
        wchar_t x = UpperChar(a[i]), y = UpperChar(b[i]);
        if (x != y) return x < y;
    }
    if (a.size() != b.size()) return a.size() < b.size();
    return a < b;
}

bool ValidComponent(const std::wstring& name) {
    if (name.empty()) return false;
    for (wchar_t c : name)
        if (c < 0x20 || wcschr(L"<>:\"|?*", c)) return false;
    return true;
}

std::string JoinHost(const std::string& dir, const std::wstring& name) {
    std::string r = dir;
    if (r.empty() || r.back() != '/') r += '/';
    return r + Utf8(name);
}

std::wstring JoinWin(const std::wstring& dir, const std::wstring& name) {
    if (!dir.empty() && dir.back() == L'\\') return dir + name;
    return dir + L"\\" + name;
}

std::vector<std::wstring> ListNames(const std::string& host_dir) {
    std::vector<std::wstring> out;
    DIR* d = opendir(host_dir.c_str());
    if (!d) return out;
    while (dirent* e = readdir(d)) {
        if (!std::strcmp(e->d_name, ".") || !std::strcmp(e->d_name, "..")) continue;
        out.push_back(Wide(e->d_name));
    }
    closedir(d);
    return out;
}

bool FindEntry(const std::string& host_dir, const std::wstring& name, std::wstring* found) {
    struct stat st;
    if (lstat(JoinHost(host_dir, name).c_str(), &st) == 0) {
        *found = name;
        return true;
    }
    std::vector<std::wstring> names = ListNames(host_dir);
    std::sort(names.begin(), names.end(), NameLess);
    for (const auto& n : names)
        if (IEquals(n, name)) {
            *found = n;
            return true;
        }
    if (name.find(L'~') != std::wstring::npos) {
        std::vector<std::wstring> shorts = ShortNames(names);
        for (size_t i = 0; i < names.size(); ++i)
            if (IEquals(shorts[i], name)) {
                *found = names[i];
                return true;
            }
    }
    return false;
}

Resolved Resolve(Machine& m, const std::wstring& full) {
    Resolved r;
    std::wstring p = full;
    bool literal = false;
    if (StartsWith(p, L"\\\\?\\")) {
        p = p.substr(4);
        literal = true;
        if (StartsWith(p, L"UNC\\")) {
            r.error = ERROR_BAD_NETPATH;
            return r;
        }
    } else if (StartsWith(p, L"\\\\.\\")) {
        r.error = ERROR_FILE_NOT_FOUND;
        return r;
    }
    if (StartsWith(p, L"\\\\")) {
        r.error = ERROR_BAD_NETPATH;
        return r;
    }
    if (p.size() < 2 || !IsAlpha(p[0]) || p[1] != L':' || (p.size() > 2 && p[2] != L'\\')) {
        r.error = p.empty() ? ERROR_PATH_NOT_FOUND : ERROR_INVALID_NAME;
        return r;
    }
    r.drive = UpperChar(p[0]);
    std::string root = m.DriveRoot(r.drive);
    if (root.empty()) {
        r.error = ERROR_PATH_NOT_FOUND;
        return r;
    }
    std::wstring rest = p.size() > 3 ? p.substr(3) : L"";
    std::vector<std::wstring> comps = SplitComponents(rest);
    r.trailing_sep = !rest.empty() && rest.back() == L'\\';
    (void)literal;
    for (const auto& c : comps)
        if (!ValidComponent(c)) {
            r.error = ERROR_INVALID_NAME;
            return r;
        }
    r.host = root;
    r.actual = std::wstring(1, r.drive) + L":\\";
    for (size_t i = 0; i < comps.size(); ++i) {
        bool last = i + 1 == comps.size();
        std::wstring name;
        if (FindEntry(r.host, comps[i], &name)) {
            r.host = JoinHost(r.host, name);
            r.actual = JoinWin(r.actual, name);
            if (!last) {
                struct stat st;
                if (stat(r.host.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
                    r.error = ERROR_PATH_NOT_FOUND;
                    return r;
                }
            }
        } else {
            if (!last) {
                r.error = ERROR_PATH_NOT_FOUND;
                return r;
            }
            r.host = JoinHost(r.host, comps[i]);
            r.actual = JoinWin(r.actual, comps[i]);
        }
    }
    r.is_root = comps.empty();
    if (!comps.empty()) r.given = comps.back();
    if (stat(r.host.c_str(), &r.st) == 0) {
        r.exists = true;
        r.is_dir = S_ISDIR(r.st.st_mode);
    }
    r.key = Utf8(Lower(r.actual));
    return r;
}

bool& Wow64Disabled(Thread& t) {
    auto& slot = t.ext["files.wow64"];
    if (!slot) slot = std::make_shared<bool>(false);
    return *static_cast<bool*>(slot.get());
}

bool RedirectionActive() {
    Thread* t = CurrentThreadOrNull();
    if (!t || t->process->image64) return false;
    return !Wow64Disabled(*t);
}

std::wstring Wow64Redirect(const std::wstring& full, bool active) {
    static const std::wstring kSys = L"c:\\windows\\system32";
    static const std::wstring kNative = L"c:\\windows\\sysnative";
    std::wstring low = Lower(full);
    auto under = [&](const std::wstring& prefix) {
        return low.compare(0, prefix.size(), prefix) == 0 &&
               (low.size() == prefix.size() || low[prefix.size()] == L'\\');
    };
    if (under(kNative)) return L"C:\\Windows\\System32" + full.substr(kNative.size());
    if (!active || !under(kSys)) return full;
    std::wstring rest = low.substr(kSys.size());
    for (const wchar_t* ex :
         {L"\\catroot", L"\\catroot2", L"\\driverstore", L"\\drivers\\etc", L"\\logfiles", L"\\spool"}) {
        std::wstring e = ex;
        if (rest.compare(0, e.size(), e) == 0 && (rest.size() == e.size() || rest[e.size()] == L'\\')) return full;
    }
    return full.substr(0, 11) + L"SysWOW64" + full.substr(kSys.size());
}

std::wstring CurrentFullPath(const std::wstring& path) {
    Thread& t = CurrentThread();
    std::wstring full = FullPath(path, t.process->current_dir);
    if (!t.process->image64) {
        bool active = RedirectionActive();
        if (StartsWith(full, L"\\\\?\\"))
            full = L"\\\\?\\" + Wow64Redirect(full.substr(4), active);
        else
            full = Wow64Redirect(full, active);
    }
    return full;
}

Resolved ResolveCurrent(const std::wstring& path) { return Resolve(CurrentMachine(), CurrentFullPath(path)); }

// ---------------------------------------------------------------------------------------
// Attributes

DWORD StoredAttributes(Machine& m, const std::string& key) {
    std::lock_guard<std::recursive_mutex> g(m.store().mutex());
    Stmt s(m.store().db(), "SELECT attributes FROM file_attributes WHERE path=?");
    s.Bind(1, key);
    return s.Step() ? static_cast<DWORD>(s.Int(0)) & kStoredMask : 0;
}

void StoreAttributes(Machine& m, const std::string& key, DWORD attributes) {
    std::lock_guard<std::recursive_mutex> g(m.store().mutex());
    attributes &= kStoredMask;
    if (attributes == 0) {
        Stmt s(m.store().db(), "DELETE FROM file_attributes WHERE path=?");
        s.Bind(1, key).Run();
        return;
    }
    Stmt s(m.store().db(),
           "INSERT INTO file_attributes (path, attributes) VALUES (?, ?) "
           "ON CONFLICT (path) DO UPDATE SET attributes=excluded.attributes");
    s.Bind(1, key).Bind(2, static_cast<int64_t>(attributes)).Run();
}

void DropAttributes(Machine& m, const std::string& key, bool subtree) {
    std::lock_guard<std::recursive_mutex> g(m.store().mutex());
    Stmt s(m.store().db(), "DELETE FROM file_attributes WHERE path=?1 OR (?2 AND substr(path, 1, length(?3))=?3)");
    s.Bind(1, key).Bind(2, static_cast<int64_t>(subtree)).Bind(3, key + "\\").Run();
}

void MoveAttributes(Machine& m, const std::string& from, const std::string& to) {
    m.store().Transaction([&] {
        DropAttributes(m, to, true);
        Stmt s(m.store().db(),
               "UPDATE file_attributes SET path=?1 || substr(path, length(?2) + 1) "
               "WHERE path=?2 OR substr(path, 1, length(?3))=?3");
        s.Bind(1, to).Bind(2, from).Bind(3, from + "\\").Run();
    });
}

DWORD ReportedAttributes(Machine& m, const Resolved& r) {
    if (!r.exists) return INVALID_FILE_ATTRIBUTES;
    if (r.is_root) return FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
    DWORD a = StoredAttributes(m, r.key);
    if (r.is_dir) a |= FILE_ATTRIBUTE_DIRECTORY;
    return a ? a : FILE_ATTRIBUTE_NORMAL;
}

// ---------------------------------------------------------------------------------------
// Times, errors, state

int64_t MachineUtcMs(Machine& m) {
    return m.boot_local_ms() + static_cast<int64_t>(m.NowMs()) + m.tz_bias_minutes * 60000LL;
}

void SetHostTimes(Machine& m, int fd, const std::string& host) {
    int64_t ns = Ms1601ToUnixNs(MachineUtcMs(m));
    struct timespec ts[2];
    ts[0].tv_sec = ts[1].tv_sec = static_cast<time_t>(ns / 1000000000LL);
    ts[0].tv_nsec = ts[1].tv_nsec = static_cast<long>(ns % 1000000000LL);
    if (fd >= 0)
        futimens(fd, ts);
    else
        utimensat(AT_FDCWD, host.c_str(), ts, 0);
    NoteChange(m, host);
}

void NoteChange(Machine& m, const std::string& host) {
    FilesState& s = State(m);
    std::lock_guard<std::mutex> g(s.mu);
    if (s.watched.empty()) return;
    bool below =
        s.watched.size() > host.size() && s.watched.compare(0, host.size(), host) == 0 && s.watched[host.size()] == '/';
    if (host.empty() || host == s.watched || below) ++s.watched_changes;
}

uint64_t WatchChanges(Machine& m, const std::string& host) {
    FilesState& s = State(m);
    std::lock_guard<std::mutex> g(s.mu);
    if (s.watched != host) {
        s.watched = host;
        ++s.watched_changes;
    }
    return s.watched_changes;
}

std::optional<uint64_t> ChangesOf(Machine& m, const std::string& host) {
    FilesState& s = State(m);
    std::lock_guard<std::mutex> g(s.mu);
    if (s.watched != host) return std::nullopt;
    return s.watched_changes;
}

FILETIME ToFileTime(const struct timespec& ts) {
    uint64_t v =
        (static_cast<uint64_t>(ts.tv_sec) + 11644473600ULL) * 10000000ULL + static_cast<uint64_t>(ts.tv_nsec) / 100;
    FILETIME ft;
    ft.dwLowDateTime = static_cast<DWORD>(v);
    ft.dwHighDateTime = static_cast<DWORD>(v >> 32);
    return ft;
}

DWORD Win32FromErrno(int e) {
    switch (e) {
    case 0: return ERROR_SUCCESS;
    case ENOENT: return ERROR_FILE_NOT_FOUND;
    case ENOTDIR: return ERROR_PATH_NOT_FOUND;
    case EACCES:
    case EPERM:
    case EROFS:
    case EISDIR: return ERROR_ACCESS_DENIED;
    case EEXIST: return ERROR_ALREADY_EXISTS;
    case ENOTEMPTY: return ERROR_DIR_NOT_EMPTY;
    case ENOSPC: return ERROR_DISK_FULL;
    case EMFILE:
    case ENFILE: return ERROR_TOO_MANY_OPEN_FILES;
    case ENAMETOOLONG: return ERROR_FILENAME_EXCED_RANGE;
    case EXDEV: return ERROR_NOT_SAME_DEVICE;
    case EBUSY: return ERROR_SHARING_VIOLATION;
    case EINVAL: return ERROR_INVALID_PARAMETER;
    default: return ERROR_GEN_FAILURE;
    }
}

FilesState& State(Machine& m) { return m.Ext<FilesState>("files"); }

DWORD InjectedFailure(Machine& m, const std::string& key, unsigned op) {
    FilesState& s = State(m);
    std::lock_guard<std::mutex> g(s.mu);
    auto it = s.failures.find(key);
    return it != s.failures.end() && (it->second.ops & op) ? it->second.error : 0;
}

}  // namespace detail

// ---------------------------------------------------------------------------------------
// Test API

namespace {
Resolved ResolveFull(Machine& m, const std::wstring& p) { return Resolve(m, FullPath(p, L"C:\\")); }
}  // namespace

bool Exists(Machine& m, const std::wstring& p) { return ResolveFull(m, p).exists; }

bool IsDirectory(Machine& m, const std::wstring& p) {
    Resolved r = ResolveFull(m, p);
    return r.exists && r.is_dir;
}

bool CreateFolders(Machine& m, const std::wstring& p) {
    std::wstring full = FullPath(p, L"C:\\");
    if (full.size() < 3) return false;
    std::vector<std::wstring> comps = SplitComponents(full.substr(3));
    std::wstring cur = full.substr(0, 3);
    for (const auto& c : comps) {
        cur = JoinWin(cur, c);
        Resolved r = Resolve(m, cur);
        if (r.error) return false;
        if (r.exists) {
            if (!r.is_dir) return false;
            continue;
        }
        if (mkdir(r.host.c_str(), 0777) != 0) return false;
    }
    return true;
}

bool WriteBytes(Machine& m, const std::wstring& p, const std::string& bytes) {
    Resolved r = ResolveFull(m, p);
    if (r.error || (r.exists && r.is_dir)) return false;
    int fd = open(r.host.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0) return false;
    NoteChange(m, r.host);
    size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
        if (n <= 0) break;
        done += static_cast<size_t>(n);
    }
    close(fd);
    return done == bytes.size();
}

std::optional<std::string> ReadBytes(Machine& m, const std::wstring& p) {
    Resolved r = ResolveFull(m, p);
    if (!r.exists || r.is_dir) return std::nullopt;
    int fd = open(r.host.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return std::nullopt;
    std::string out;
    char buf[65536];
    ssize_t n;
    while ((n = read(fd, buf, sizeof buf)) > 0) out.append(buf, static_cast<size_t>(n));
    close(fd);
    return out;
}

DWORD Attributes(Machine& m, const std::wstring& p) { return ReportedAttributes(m, ResolveFull(m, p)); }

bool SetAttributes(Machine& m, const std::wstring& p, DWORD attributes) {
    Resolved r = ResolveFull(m, p);
    if (!r.exists || r.is_root) return false;
    StoreAttributes(m, r.key, attributes);
    return true;
}

bool SetReparsePoint(Machine& m, const std::wstring& p, bool on) {
    Resolved r = ResolveFull(m, p);
    if (!r.exists || r.is_root) return false;
    DWORD a = StoredAttributes(m, r.key);
    StoreAttributes(m, r.key, on ? a | FILE_ATTRIBUTE_REPARSE_POINT : a & ~FILE_ATTRIBUTE_REPARSE_POINT);
    return true;
}

void InjectFailure(Machine& m, const std::wstring& p, unsigned ops, DWORD error) {
    Resolved r = ResolveFull(m, p);
    std::string key = r.key.empty() ? Utf8(Lower(FullPath(p, L"C:\\"))) : r.key;
    FilesState& s = State(m);
    std::lock_guard<std::mutex> g(s.mu);
    s.failures[key] = Failure{ops, error};
}

void ClearFailure(Machine& m, const std::wstring& p) {
    Resolved r = ResolveFull(m, p);
    std::string key = r.key.empty() ? Utf8(Lower(FullPath(p, L"C:\\"))) : r.key;
    FilesState& s = State(m);
    std::lock_guard<std::mutex> g(s.mu);
    s.failures.erase(key);
}

void ClearFailures(Machine& m) {
    FilesState& s = State(m);
    std::lock_guard<std::mutex> g(s.mu);
    s.failures.clear();
}

std::vector<PendingOperation> PendingOperations(Machine& m) {
    std::lock_guard<std::recursive_mutex> g(m.store().mutex());
    std::vector<PendingOperation> out;
    Stmt s(m.store().db(), "SELECT source, target, flags FROM file_pending ORDER BY seq");
    while (s.Step()) out.push_back(PendingOperation{Wide(s.Text(0)), Wide(s.Text(1)), static_cast<DWORD>(s.Int(2))});
    return out;
}

std::vector<std::wstring> PendingFileRenameStrings(Machine& m) {
    std::vector<std::wstring> out;
    for (const auto& op : PendingOperations(m)) {
        out.push_back(L"\\??\\" + op.source);
        if (op.target.empty())
            out.emplace_back();
        else
            out.push_back(((op.flags & MOVEFILE_REPLACE_EXISTING) ? L"!\\??\\" : L"\\??\\") + op.target);
    }
    return out;
}

void ClearPendingOperations(Machine& m) { m.store().Exec("DELETE FROM file_pending"); }

size_t RunPendingOperations(Machine& m) {
    size_t ok = 0;
    for (const auto& op : PendingOperations(m)) {
        Resolved src = Resolve(m, op.source);
        if (!src.exists) continue;
        DWORD err;
        if (op.target.empty()) {
            err = src.is_dir ? RemoveFolder(m, src) : DeleteEntry(m, src);
        } else {
            Resolved dst = Resolve(m, op.target);
            err = MoveEntry(m, src, dst, op.flags & MOVEFILE_REPLACE_EXISTING);
        }
        if (err == 0) ++ok;
    }
    ClearPendingOperations(m);
    return ok;
}

void CreateUserProfile(Machine& m, const std::wstring& user) {
    std::wstring base = user == L"SYSTEM" ? L"C:\\Windows\\System32\\config\\systemprofile" : L"C:\\Users\\" + user;
    for (const wchar_t* sub : {L"\\AppData\\Local\\Temp", L"\\AppData\\Roaming", L"\\Desktop"})
        CreateFolders(m, base + sub);
}

}  // namespace winsim::files

// ---------------------------------------------------------------------------------------
// Subsystem hooks

namespace winsim::internal {

void InitFiles(Machine& m) {
    m.store().Exec("CREATE TABLE IF NOT EXISTS file_attributes (path TEXT PRIMARY KEY, attributes INTEGER NOT NULL)");
    m.store().Exec(
        "CREATE TABLE IF NOT EXISTS file_pending (seq INTEGER PRIMARY KEY AUTOINCREMENT, "
        "source TEXT NOT NULL, target TEXT NOT NULL, flags INTEGER NOT NULL)");
}

void ProfileFiles(Machine& m, const std::string& profile) {
    (void)profile;  // "bare" and "tablet" have the same folders
    static const wchar_t* const kFolders[] = {
        L"C:\\Windows\\System32\\config\\systemprofile",
        L"C:\\Windows\\System32\\drivers\\etc",
        L"C:\\Windows\\System32\\DriverStore\\FileRepository",
        L"C:\\Windows\\SysWOW64",
        L"C:\\Windows\\INF",
        L"C:\\Windows\\Temp",
        L"C:\\Program Files\\Common Files",
        L"C:\\Program Files (x86)\\Common Files",
        L"C:\\ProgramData",
        L"C:\\ProgramData\\Microsoft\\Windows\\Start Menu\\Programs\\Startup",
        L"C:\\Users\\Public",
        L"C:\\Users\\Public\\Desktop",
    };
    for (const wchar_t* f : kFolders) files::CreateFolders(m, f);
    for (DWORD id = 0; id < 64; ++id)
        if (const Session* s = m.FindSession(id)) files::CreateUserProfile(m, s->user);
}

void ResetFiles(Machine& m) {
    std::error_code ec;
    stdfs::path root = m.DriveRoot('C');
    std::vector<stdfs::path> entries;
    for (auto it = stdfs::directory_iterator(root, ec); !ec && it != stdfs::directory_iterator(); it.increment(ec))
        entries.push_back(it->path());
    for (const auto& e : entries) stdfs::remove_all(e, ec);
    m.store().Exec("DELETE FROM file_attributes");
    m.store().Exec("DELETE FROM file_pending");
    files::ClearFailures(m);
}

}  // namespace winsim::internal
