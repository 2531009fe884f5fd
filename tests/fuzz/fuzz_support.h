// What the fuzz targets share: one simulated machine with a process of the setup program's
// image on the running thread, and the input as a file of that machine.
#pragma once

#include <windows.h>

#include "winsim/files.h"
#include "winsim/machine.h"

#include <memory>
#include <string>

namespace fuzz {

constexpr const wchar_t* kFolder = L"C:\\Program Files\\Quarven\\Setup";

class Sim {
public:
    explicit Sim(const std::wstring& image = L"C:\\Program Files\\Quarven\\Setup\\Setup.exe")
        : machine_(winsim::Machine::CreateInMemory("bare")) {
        winsim::files::CreateFolders(*machine_, kFolder);
        winsim::ProcessOptions o;
        o.image = image;
        scope_ = std::make_unique<winsim::ProcessScope>(*machine_, o);
    }
    winsim::Machine& machine() { return *machine_; }
    void Put(const std::wstring& path, const uint8_t* data, size_t size) {
        winsim::files::WriteBytes(*machine_, path, std::string(reinterpret_cast<const char*>(data), size));
    }

private:
    std::unique_ptr<winsim::Machine> machine_;
    std::unique_ptr<winsim::ProcessScope> scope_;
};

// The bytes as UTF-16LE text (an odd last byte dropped).
inline std::wstring Utf16(const uint8_t* data, size_t size) {
    std::wstring s;
    for (size_t i = 0; i + 1 < size; i += 2) s += static_cast<wchar_t>(data[i] | (data[i + 1] << 8));
    return s;
}

}  // namespace fuzz
