// winsim: the shell link class (IShellLinkW, IPersistFile) and its saved files
// (winsim/shelllink.h).
#include <ole2.h>
#include <windows.h>

// The shell link GUIDs are defined here; IUnknown's are declared only.
#include <initguid.h>
#include <shlobj.h>

#include "com_internal.h"
#include "winsim/files.h"
#include "winsim/kernel.h"
#include "winsim/shelllink.h"

#include <cwchar>
#include <sstream>
#include <string>

using namespace winsim;

namespace {

const char kMagic[] = "WINSIM-SHELLLINK";

HRESULT CopyOut(const std::wstring& s, LPWSTR out, int cch) {
    if (!out || cch <= 0) return E_INVALIDARG;
    size_t n = std::min(s.size(), static_cast<size_t>(cch - 1));
    std::wmemcpy(out, s.data(), n);
    out[n] = 0;
    return S_OK;
}

// A text without line breaks (the file keeps one field a line).
bool OneLine(LPCWSTR s) { return s && !std::wcschr(s, L'\n') && !std::wcschr(s, L'\r'); }

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
    HRESULT STDMETHODCALLTYPE GetIconLocation(LPWSTR, int, int*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetIconLocation(LPCWSTR, int) override { return E_NOTIMPL; }
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
    HRESULT STDMETHODCALLTYPE Load(LPCOLESTR, DWORD) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Save(LPCOLESTR file, BOOL) override {
        if (!file || !file[0]) return E_INVALIDARG;
        std::ostringstream o;
        o << kMagic << "\npath=" << Utf8(link_.path) << "\narguments=" << Utf8(link_.arguments)
          << "\nworking_dir=" << Utf8(link_.working_dir) << "\ndescription=" << Utf8(link_.description)
          << "\nshow=" << link_.show_cmd << "\n";
        std::string bytes = o.str();
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
    HRESULT Set(std::wstring* field, LPCWSTR s) {
        if (!OneLine(s)) return E_INVALIDARG;
        *field = s;
        return S_OK;
    }

    shelllink::Link link_;
};

}  // namespace

namespace winsim::shelllink {

std::optional<Link> Read(Machine& m, const std::wstring& full_winpath) {
    auto bytes = files::ReadBytes(m, full_winpath);
    if (!bytes) return std::nullopt;
    std::istringstream in(*bytes);
    std::string line;
    if (!std::getline(in, line) || line != kMagic) return std::nullopt;
    Link link;
    while (std::getline(in, line)) {
        size_t eq = line.find('=');
        if (eq == std::string::npos) continue;
        std::string key = line.substr(0, eq);
        std::wstring value = Wide(line.substr(eq + 1));
        if (key == "path") link.path = value;
        if (key == "arguments") link.arguments = value;
        if (key == "working_dir") link.working_dir = value;
        if (key == "description") link.description = value;
        if (key == "show") link.show_cmd = std::stoi(line.substr(eq + 1));
    }
    return link;
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
