// Shell link calls the shell link tests share: a link's fields saved through IShellLinkW and
// IPersistFile::Save, and read back from a file through IPersistFile::Load.
#pragma once

#include <gtest/gtest.h>
#include <windows.h>
#include <objbase.h>
#include <shlobj.h>

#include <ostream>
#include <string>

struct LinkFields {
    std::wstring target, arguments, working_dir, description, icon;
    int icon_index = 0;
    int show = SW_SHOWNORMAL;

    bool operator==(const LinkFields& o) const {
        return target == o.target && arguments == o.arguments && working_dir == o.working_dir &&
               description == o.description && icon == o.icon && icon_index == o.icon_index && show == o.show;
    }
    friend void PrintTo(const LinkFields& f, std::ostream* os) {
        auto text = [](const std::wstring& s) { return std::string(s.begin(), s.end()); };
        *os << "{" << text(f.target) << " | " << text(f.arguments) << " | " << text(f.working_dir) << " | "
            << text(f.description) << " | " << text(f.icon) << "," << f.icon_index << " | show " << f.show << "}";
    }
};

template <class Base>
class ShellLinkCalls : public Base {
protected:
    void SetUp() override {
        Base::SetUp();
        ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr)));
    }
    void TearDown() override {
        CoUninitialize();
        Base::TearDown();
    }

    static IShellLinkW* NewLink() {
        IShellLinkW* link = nullptr;
        EXPECT_EQ(S_OK, CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                         reinterpret_cast<void**>(&link)));
        return link;
    }
    static HRESULT Persist(IShellLinkW* link, const std::wstring& path, bool save) {
        IPersistFile* file = nullptr;
        HRESULT hr = link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file));
        if (FAILED(hr)) return hr;
        hr = save ? file->Save(path.c_str(), TRUE) : file->Load(path.c_str(), STGM_READ);
        file->Release();
        return hr;
    }

    // Sets the fields that are not empty (the target always) and saves the link at path.
    // SetPath's result is not looked at: for a target that does not exist Windows gives S_OK
    // and Wine S_FALSE.
    static HRESULT SaveLink(const LinkFields& f, const std::wstring& path) {
        IShellLinkW* link = NewLink();
        if (!link) return E_FAIL;
        link->SetPath(f.target.c_str());
        if (!f.arguments.empty()) EXPECT_EQ(S_OK, link->SetArguments(f.arguments.c_str()));
        if (!f.working_dir.empty()) EXPECT_EQ(S_OK, link->SetWorkingDirectory(f.working_dir.c_str()));
        if (!f.description.empty()) EXPECT_EQ(S_OK, link->SetDescription(f.description.c_str()));
        if (!f.icon.empty()) EXPECT_EQ(S_OK, link->SetIconLocation(f.icon.c_str(), f.icon_index));
        EXPECT_EQ(S_OK, link->SetShowCmd(f.show));
        HRESULT hr = Persist(link, path, true);
        link->Release();
        return hr;
    }

    // Loads the link at path into *f.
    static HRESULT LoadLink(const std::wstring& path, LinkFields* f) {
        IShellLinkW* link = NewLink();
        if (!link) return E_FAIL;
        HRESULT hr = Persist(link, path, false);
        if (hr == S_OK) {
            WCHAR s[1024];
            auto get = [&](HRESULT r) { return SUCCEEDED(r) ? std::wstring(s) : std::wstring(L"<failed>"); };
            f->target = get(link->GetPath(s, 1024, nullptr, 0));
            f->arguments = get(link->GetArguments(s, 1024));
            f->working_dir = get(link->GetWorkingDirectory(s, 1024));
            f->description = get(link->GetDescription(s, 1024));
            f->icon = get(link->GetIconLocation(s, 1024, &f->icon_index));
            EXPECT_EQ(S_OK, link->GetShowCmd(&f->show));
        }
        link->Release();
        return hr;
    }
};
