// winsim: the shell link class (IShellLinkW, IPersistFile) and its files in the Shell Link
// binary format of [MS-SHLLINK] (winsim/shelllink.h reads them for tests).
//
// Save writes what Windows writes for a link to a local path: the header (with the
// target's attributes, times and size when it exists), the target's ID list (My Computer,
// the drive, one file-system item per path component, each with its long name), its
// LinkInfo (the volume and the local base path, in UTF-16 too when the ANSI code page
// cannot hold it), the strings in UTF-16 and the terminal block. Load takes the target
// from the LinkInfo and refuses with E_FAIL a file that breaks the format anywhere (short,
// a wrong header, an item, offset or block reaching past its end), keeping the object as
// it was.
#include <ole2.h>
#include <windows.h>

// The shell link GUIDs are defined here; IUnknown's are declared only.
#include <initguid.h>
#include <shlobj.h>

#include "com_internal.h"
#include "text_internal.h"
#include "winsim/files.h"
#include "winsim/kernel.h"
#include "winsim/shelllink.h"

#include <cstdint>
#include <cstring>
#include <cwchar>
#include <string>

using namespace winsim;

namespace {

// LinkFlags. The flags of the five StringData texts follow HasName in the texts' order
// (name, relative path, working folder, arguments, icon location).
constexpr uint32_t kHasIdList = 0x1, kHasLinkInfo = 0x2, kHasName = 0x4, kIsUnicode = 0x80;
constexpr uint32_t kHeaderSize = 0x4C;
constexpr uint32_t kLinkInfoHeader = 0x1C, kLinkInfoHeaderUnicode = 0x24;
constexpr uint32_t kVolumeIdAndLocalBasePath = 0x1;
// The ID list's root item, My Computer {20D04FE0-3AEA-1069-A2D8-08002B30309D}.
constexpr unsigned char kMyComputer[] = {0x1F, 0x50, 0xE0, 0x4F, 0xD0, 0x20, 0xEA, 0x3A, 0x69,
                                         0x10, 0xA2, 0xD8, 0x08, 0x00, 0x2B, 0x30, 0x30, 0x9D};

// What a link file holds of the link.
struct LinkData : shelllink::Link {
    std::wstring relative_path;
    std::wstring icon_location;
    int icon_index = 0;
};

// ---------------------------------------------------------------------------------------
// Writing

class Writer {
public:
    void U8(unsigned v) { out_ += static_cast<char>(v); }
    void U16(unsigned v) {
        U8(v & 0xFF);
        U8((v >> 8) & 0xFF);
    }
    void U32(uint32_t v) {
        U16(v & 0xFFFF);
        U16(v >> 16);
    }
    void Bytes(const void* p, size_t n) { out_.append(static_cast<const char*>(p), n); }
    void Zeros(size_t n) { out_.append(n, '\0'); }
    void Ansi(const std::string& s) { Bytes(s.c_str(), s.size() + 1); }
    void Utf16(const std::wstring& s, bool terminated) {
        for (wchar_t c : s) U16(static_cast<unsigned>(c) & 0xFFFF);
        if (terminated) U16(0);
    }
    size_t Size() const { return out_.size(); }
    // Writes v at an earlier offset (a size known only at the end).
    void Patch16(size_t at, unsigned v) {
        out_[at] = static_cast<char>(v & 0xFF);
        out_[at + 1] = static_cast<char>((v >> 8) & 0xFF);
    }
    void Patch32(size_t at, uint32_t v) {
        Patch16(at, v & 0xFFFF);
        Patch16(at + 2, v >> 16);
    }
    std::string& Out() { return out_; }

private:
    std::string out_;
};

// The text in the ANSI code page; false when a character has no byte there.
bool ToAnsi(const std::wstring& s, std::string* out) {
    out->clear();
    bool exact = true;
    for (wchar_t c : s) {
        int b = text::WideToAnsi(c);
        exact = exact && b >= 0;
        *out += static_cast<char>(b >= 0 ? b : '?');
    }
    return exact;
}

// A file-system item of the ID list: the short name as primary name, then the file entry
// extension block (version 3, as Windows XP writes it) with the long name; false when it
// does not fit its 16-bit size. Its FAT times are left zero: readers find the file by its
// names, and the header carries the target's times.
bool WriteFileItem(Writer& w, const std::wstring& path, const std::wstring& name, bool last) {
    WIN32_FILE_ATTRIBUTE_DATA fa = {};
    bool exists = GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &fa) != FALSE;
    bool dir = exists ? (fa.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 : !last;
    std::wstring primary = name;
    WCHAR shortp[MAX_PATH];
    DWORD n = exists ? GetShortPathNameW(path.c_str(), shortp, MAX_PATH) : 0;
    if (n > 0 && n < MAX_PATH) {
        const WCHAR* slash = std::wcsrchr(shortp, L'\\');
        primary = slash ? slash + 1 : shortp;
    }
    std::string ansi;
    ToAnsi(primary, &ansi);

    size_t start = w.Size();
    w.U16(0);  // the item's size, patched below
    w.U8(dir ? 0x31 : 0x32);
    w.U8(0);
    w.U32(exists && !dir ? fa.nFileSizeLow : 0);
    w.U32(0);  // modification FAT date and time
    w.U16(exists ? fa.dwFileAttributes & 0xFFFF : (dir ? FILE_ATTRIBUTE_DIRECTORY : 0));
    w.Ansi(ansi);
    if ((w.Size() - start) % 2) w.U8(0);
    size_t ext = w.Size();
    w.U16(0);  // the block's size, patched below
    w.U16(3);
    w.U32(0xBEEF0004);
    w.U32(0);     // creation FAT date and time
    w.U32(0);     // last access FAT date and time
    w.U16(0x14);  // as Windows XP writes it
    w.U16(0);     // no localized name
    w.Utf16(name, true);
    w.U16(static_cast<unsigned>(ext - start));
    w.Patch16(ext, static_cast<unsigned>(w.Size() - ext));
    w.Patch16(start, static_cast<unsigned>(w.Size() - start));
    return w.Size() - start <= 0xFFFF;
}

// The target's ID list; false when it does not fit its 16-bit size.
bool WriteIdList(Writer& w, const std::wstring& path) {
    size_t start = w.Size();
    w.U16(0);  // IDListSize, patched below
    w.U16(2 + sizeof(kMyComputer));
    w.Bytes(kMyComputer, sizeof(kMyComputer));
    // The drive: "C:\" in an item of 0x19 bytes.
    w.U16(0x19);
    w.U8(0x2F);
    w.U8(text::CrtUpper(path[0]));
    w.Bytes(":\\", 2);
    w.Zeros(0x19 - 6);
    size_t pos = 3;
    while (pos < path.size()) {
        size_t end = path.find(L'\\', pos);
        if (end == std::wstring::npos) end = path.size();
        if (end > pos && !WriteFileItem(w, path.substr(0, end), path.substr(pos, end - pos), end == path.size()))
            return false;
        pos = end + 1;
    }
    w.U16(0);  // TerminalID
    w.Patch16(start, static_cast<unsigned>(w.Size() - start - 2));
    return w.Size() - start - 2 <= 0xFFFF;
}

// The volume's serial number, from its root folder.
DWORD VolumeSerial(const std::wstring& root) {
    HANDLE h = CreateFileW(root.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h == INVALID_HANDLE_VALUE) return 0;
    BY_HANDLE_FILE_INFORMATION info = {};
    BOOL ok = GetFileInformationByHandle(h, &info);
    CloseHandle(h);
    return ok ? info.dwVolumeSerialNumber : 0;
}

void WriteLinkInfo(Writer& w, const std::wstring& path) {
    std::string ansi;
    bool unicode = !ToAnsi(path, &ansi);
    uint32_t header = unicode ? kLinkInfoHeaderUnicode : kLinkInfoHeader;
    std::wstring root = path.substr(0, 3);
    const uint32_t volume_size = 0x11;  // the fields and an empty label
    uint32_t base = header + volume_size;
    uint32_t suffix = base + static_cast<uint32_t>(ansi.size()) + 1;
    size_t start = w.Size();
    w.U32(0);  // LinkInfoSize, patched below
    w.U32(header);
    w.U32(kVolumeIdAndLocalBasePath);
    w.U32(header);  // VolumeIDOffset
    w.U32(base);
    w.U32(0);  // no CommonNetworkRelativeLink
    w.U32(suffix);
    if (unicode) {
        w.U32(suffix + 1);
        w.U32(suffix + 1 + static_cast<uint32_t>(path.size() + 1) * 2);
    }
    w.U32(volume_size);
    w.U32(GetDriveTypeW(root.c_str()));
    w.U32(VolumeSerial(root));
    w.U32(0x10);  // VolumeLabelOffset
    w.U8(0);
    w.Ansi(ansi);
    w.U8(0);  // CommonPathSuffix: empty
    if (unicode) {
        w.Utf16(path, true);
        w.U16(0);
    }
    w.Patch32(start, static_cast<uint32_t>(w.Size() - start));
}

bool IsDrivePath(const std::wstring& p) {
    return p.size() >= 3 && ((p[0] >= L'A' && p[0] <= L'Z') || (p[0] >= L'a' && p[0] <= L'z')) && p[1] == L':' &&
           p[2] == L'\\';
}

// The file's bytes, or E_INVALIDARG for a link the format cannot hold: a target that is not
// a local path or whose ID list outgrows its 16-bit size, a string longer than its 16-bit
// count.
HRESULT Serialize(const LinkData& link, std::string* bytes) {
    if (!link.path.empty() && !IsDrivePath(link.path)) return E_INVALIDARG;
    const std::wstring* strings[] = {&link.description, &link.relative_path, &link.working_dir, &link.arguments,
                                     &link.icon_location};
    uint32_t flags = kIsUnicode | (link.path.empty() ? 0 : kHasIdList | kHasLinkInfo);
    for (int i = 0; i < 5; ++i) {
        if (strings[i]->size() > 0xFFFF) return E_INVALIDARG;
        if (!strings[i]->empty()) flags |= kHasName << i;
    }
    WIN32_FILE_ATTRIBUTE_DATA fa = {};
    if (link.path.empty() || !GetFileAttributesExW(link.path.c_str(), GetFileExInfoStandard, &fa)) fa = {};

    Writer w;
    w.U32(kHeaderSize);
    w.Bytes(&CLSID_ShellLink, sizeof(CLSID));
    w.U32(flags);
    w.U32(fa.dwFileAttributes);
    for (const FILETIME& t : {fa.ftCreationTime, fa.ftLastAccessTime, fa.ftLastWriteTime}) {
        w.U32(t.dwLowDateTime);
        w.U32(t.dwHighDateTime);
    }
    w.U32(fa.nFileSizeLow);
    w.U32(static_cast<uint32_t>(link.icon_index));
    w.U32(static_cast<uint32_t>(link.show_cmd));
    w.U16(0);  // HotKey
    w.Zeros(10);
    if (!link.path.empty()) {
        if (!WriteIdList(w, link.path)) return E_INVALIDARG;
        WriteLinkInfo(w, link.path);
    }
    for (const std::wstring* s : strings) {
        if (s->empty()) continue;
        w.U16(static_cast<unsigned>(s->size()));
        w.Utf16(*s, false);
    }
    w.U32(0);  // TerminalBlock
    *bytes = std::move(w.Out());
    return S_OK;
}

// ---------------------------------------------------------------------------------------
// Reading: every read is checked against the end of the bytes.

uint32_t LittleEndian(const std::string& b, size_t at, size_t n) {
    uint32_t v = 0;
    for (size_t i = 0; i < n; ++i) v |= static_cast<uint32_t>(static_cast<unsigned char>(b[at + i])) << (8 * i);
    return v;
}

// The character at b[at]: a UTF-16 unit or a byte of the ANSI code page.
wchar_t CharAt(const std::string& b, size_t at, bool unicode) {
    return unicode ? static_cast<wchar_t>(LittleEndian(b, at, 2)) : text::AnsiToWide(static_cast<unsigned char>(b[at]));
}

class Reader {
public:
    explicit Reader(const std::string& b) : b_(b) {}
    size_t Pos() const { return pos_; }
    size_t Left() const { return b_.size() - pos_; }
    bool Skip(size_t n) {
        if (n > Left()) return false;
        pos_ += n;
        return true;
    }
    bool U16(uint32_t* v) { return Int(2, v); }
    bool U32(uint32_t* v) { return Int(4, v); }
    bool Take(size_t n, std::string* out) {
        if (n > Left()) return false;
        out->assign(b_, pos_, n);
        pos_ += n;
        return true;
    }
    // A StringData text of count characters, kept up to its first null (Wine writes the
    // terminating null and counts it).
    bool Text(uint32_t count, bool unicode, std::wstring* out) {
        size_t n = unicode ? count * size_t{2} : count;
        if (n > Left()) return false;
        out->clear();
        for (size_t i = 0; i < n; i += unicode ? 2 : 1) {
            wchar_t c = CharAt(b_, pos_ + i, unicode);
            if (!c) break;
            *out += c;
        }
        pos_ += n;
        return true;
    }

private:
    bool Int(size_t n, uint32_t* v) {
        if (n > Left()) return false;
        *v = LittleEndian(b_, pos_, n);
        pos_ += n;
        return true;
    }

    const std::string& b_;
    size_t pos_ = 0;
};

// The IDList: items of at least their own size field, ending with the TerminalID exactly at
// the end of IDListSize.
bool SkipIdList(Reader& r) {
    uint32_t size = 0;
    if (!r.U16(&size) || size > r.Left()) return false;
    size_t end = r.Pos() + size;
    for (;;) {
        uint32_t item = 0;
        if (r.Pos() + 2 > end || !r.U16(&item)) return false;
        if (item == 0) return r.Pos() == end;
        if (item < 2 || r.Pos() + item - 2 > end || !r.Skip(item - 2)) return false;
    }
}

// A field of the LinkInfo `info` (its size field at offset 0); 0 past its end.
uint32_t Field(const std::string& info, size_t at) { return at + 4 > info.size() ? 0 : LittleEndian(info, at, 4); }

// The null-terminated text at offset `at` of the LinkInfo (ANSI or UTF-16).
bool InfoText(const std::string& info, uint32_t at, bool unicode, std::wstring* out) {
    out->clear();
    size_t unit = unicode ? 2 : 1;
    for (size_t i = at;; i += unit) {
        if (i + unit > info.size()) return false;
        wchar_t c = CharAt(info, i, unicode);
        if (!c) return true;
        *out += c;
    }
}

// The LinkInfo; the target is its local base path joined with the common path suffix, in
// their UTF-16 forms where the LinkInfo has them. A target on a network share (a
// CommonNetworkRelativeLink) is not read: the path stays empty.
bool ReadLinkInfo(Reader& r, std::wstring* path) {
    uint32_t size = 0;
    std::string rest;
    if (!r.U32(&size) || size < kLinkInfoHeader || !r.Take(size - 4, &rest)) return false;
    const std::string info = std::string(4, '\0') + rest;
    uint32_t header = Field(info, 4), flags = Field(info, 8);
    if (header < kLinkInfoHeader || header > size) return false;
    path->clear();
    if (!(flags & kVolumeIdAndLocalBasePath)) return true;
    uint32_t volume = Field(info, 0x0C);
    if (volume < header || volume > size - 4 || Field(info, volume) > size - volume) return false;
    bool unicode = header >= kLinkInfoHeaderUnicode;
    uint32_t base = unicode ? Field(info, 0x1C) : 0, suffix = unicode ? Field(info, 0x20) : 0;
    std::wstring base_text, suffix_text;
    bool ok = base ? InfoText(info, base, true, &base_text) : InfoText(info, Field(info, 0x10), false, &base_text);
    if (suffix)
        ok = ok && InfoText(info, suffix, true, &suffix_text);
    else if (Field(info, 0x18))
        ok = ok && InfoText(info, Field(info, 0x18), false, &suffix_text);
    if (!ok) return false;
    *path = base_text + suffix_text;
    return true;
}

// The link in a file's bytes; false when they break the format.
bool Parse(const std::string& bytes, LinkData* link) {
    Reader r(bytes);
    uint32_t size = 0, flags = 0, icon = 0, show = 0;
    CLSID clsid;
    std::string clsid_bytes;
    if (!r.U32(&size) || size != kHeaderSize || !r.Take(sizeof(CLSID), &clsid_bytes) || !r.U32(&flags)) return false;
    std::memcpy(&clsid, clsid_bytes.data(), sizeof(CLSID));
    if (clsid != CLSID_ShellLink || !r.Skip(4 + 3 * 8 + 4) || !r.U32(&icon) || !r.U32(&show) || !r.Skip(12))
        return false;
    LinkData out;
    out.icon_index = static_cast<int>(icon);
    out.show_cmd = static_cast<int>(show);
    if ((flags & kHasIdList) && !SkipIdList(r)) return false;
    if ((flags & kHasLinkInfo) && !ReadLinkInfo(r, &out.path)) return false;
    std::wstring* strings[] = {&out.description, &out.relative_path, &out.working_dir, &out.arguments,
                               &out.icon_location};
    for (int i = 0; i < 5; ++i) {
        uint32_t count = 0;
        if ((flags & (kHasName << i)) && (!r.U16(&count) || !r.Text(count, (flags & kIsUnicode) != 0, strings[i])))
            return false;
    }
    // ExtraData: blocks of at least their size and signature, up to the TerminalBlock.
    for (;;) {
        uint32_t block = 0;
        if (!r.U32(&block)) return false;
        if (block < 4) break;
        if (block < 8 || !r.Skip(block - 4)) return false;
    }
    *link = std::move(out);
    return true;
}

HRESULT CopyOut(const std::wstring& s, LPWSTR out, int cch) {
    if (!out || cch <= 0) return E_INVALIDARG;
    size_t n = std::min(s.size(), static_cast<size_t>(cch - 1));
    std::wmemcpy(out, s.data(), n);
    out[n] = 0;
    return S_OK;
}

class ShellLink : public IShellLinkW, public IPersistFile, public com::ObjectBase {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        if (!ppv) return E_POINTER;
        if (riid == IID_IUnknown || riid == IID_IShellLinkW) {
            *ppv = static_cast<IShellLinkW*>(this);
        } else if (riid == IID_IPersistFile) {
            *ppv = static_cast<IPersistFile*>(this);
        } else {
            *ppv = nullptr;
            return E_NOINTERFACE;
        }
        AddRefImpl();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return AddRefImpl(); }
    ULONG STDMETHODCALLTYPE Release() override { return ReleaseImpl(); }

    // IShellLinkW
    HRESULT STDMETHODCALLTYPE GetPath(LPWSTR out, int cch, WIN32_FIND_DATAW*, DWORD) override {
        return CopyOut(link_.path, out, cch);
    }
    HRESULT STDMETHODCALLTYPE GetIDList(PIDLIST_ABSOLUTE*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetIDList(PCIDLIST_ABSOLUTE) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetDescription(LPWSTR out, int cch) override {
        return CopyOut(link_.description, out, cch);
    }
    HRESULT STDMETHODCALLTYPE SetDescription(LPCWSTR s) override { return Set(&link_.description, s); }
    HRESULT STDMETHODCALLTYPE GetWorkingDirectory(LPWSTR out, int cch) override {
        return CopyOut(link_.working_dir, out, cch);
    }
    HRESULT STDMETHODCALLTYPE SetWorkingDirectory(LPCWSTR s) override { return Set(&link_.working_dir, s); }
    HRESULT STDMETHODCALLTYPE GetArguments(LPWSTR out, int cch) override { return CopyOut(link_.arguments, out, cch); }
    HRESULT STDMETHODCALLTYPE SetArguments(LPCWSTR s) override { return Set(&link_.arguments, s); }
    HRESULT STDMETHODCALLTYPE GetHotkey(WORD*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetHotkey(WORD) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetShowCmd(int* show) override {
        if (!show) return E_INVALIDARG;
        *show = link_.show_cmd;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE SetShowCmd(int show) override {
        link_.show_cmd = show;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetIconLocation(LPWSTR out, int cch, int* index) override {
        if (!index) return E_INVALIDARG;
        *index = link_.icon_index;
        return CopyOut(link_.icon_location, out, cch);
    }
    HRESULT STDMETHODCALLTYPE SetIconLocation(LPCWSTR s, int index) override {
        link_.icon_index = index;
        return Set(&link_.icon_location, s);
    }
    HRESULT STDMETHODCALLTYPE SetRelativePath(LPCWSTR, DWORD) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Resolve(HWND, DWORD) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetPath(LPCWSTR s) override { return Set(&link_.path, s); }

    // IPersistFile
    HRESULT STDMETHODCALLTYPE GetClassID(CLSID* clsid) override {
        if (!clsid) return E_POINTER;
        *clsid = CLSID_ShellLink;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE IsDirty() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE Load(LPCOLESTR file, DWORD) override {
        if (!file || !file[0]) return E_INVALIDARG;
        HANDLE h =
            CreateFileW(file, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (h == INVALID_HANDLE_VALUE) return HRESULT_FROM_WIN32(GetLastError());
        std::string bytes;
        char chunk[4096];
        DWORD got = 0;
        BOOL ok;
        while ((ok = ReadFile(h, chunk, sizeof(chunk), &got, nullptr)) && got) bytes.append(chunk, got);
        DWORD error = GetLastError();
        CloseHandle(h);
        if (!ok) return HRESULT_FROM_WIN32(error);
        return Parse(bytes, &link_) ? S_OK : E_FAIL;
    }
    HRESULT STDMETHODCALLTYPE Save(LPCOLESTR file, BOOL) override {
        if (!file || !file[0]) return E_INVALIDARG;
        std::string bytes;
        if (HRESULT hr = Serialize(link_, &bytes); FAILED(hr)) return hr;
        HANDLE h = CreateFileW(file, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (h == INVALID_HANDLE_VALUE) return HRESULT_FROM_WIN32(GetLastError());
        DWORD written = 0;
        BOOL ok = WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
        DWORD error = GetLastError();
        CloseHandle(h);
        return ok ? S_OK : HRESULT_FROM_WIN32(error);
    }
    HRESULT STDMETHODCALLTYPE SaveCompleted(LPCOLESTR) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE GetCurFile(LPOLESTR*) override { return E_NOTIMPL; }

private:
    static HRESULT Set(std::wstring* field, LPCWSTR s) {
        *field = s ? s : L"";
        return S_OK;
    }

    LinkData link_;
};

}  // namespace

namespace winsim::shelllink {

std::optional<Link> Read(Machine& m, const std::wstring& full_winpath) {
    auto bytes = files::ReadBytes(m, full_winpath);
    LinkData link;
    if (!bytes || !Parse(*bytes, &link)) return std::nullopt;
    return static_cast<Link>(link);
}

}  // namespace winsim::shelllink

namespace winsim::shell::detail {

void RegisterShellLink(Machine&, const std::function<void(const CLSID&, com::Factory)>& add) {
    add(CLSID_ShellLink, [](REFIID riid, void** ppv) -> HRESULT {
        auto* l = new ShellLink();
        HRESULT hr = l->QueryInterface(riid, ppv);
        l->Release();
        return hr;
    });
}

}  // namespace winsim::shell::detail
