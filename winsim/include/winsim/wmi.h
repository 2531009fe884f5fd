// winsim: the machine's WMI data - namespaces, classes, instances and typed properties -
// as tests, the profiles and the winsim tool reach it (the programs see it through
// wbemcli.h). Kept in the machine's store.
//
// Profiles. "tablet": root\CIMV2 Win32_ComputerSystem (OEMStringArray whose first string
// carries the region letter 'J' as its sixth character, Manufacturer and Model of the
// tablet ...), Win32_ComputerSystemProduct (Vendor "QUARVEN" ...) and root\WMI
// MS_SystemInformation. "bare": the same classes for a plain PC ("System manufacturer",
// OEMStringArray null).
#pragma once

#include <wbemcli.h>

#include "machine.h"

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace winsim::wmi {

const wchar_t* const kCimV2 = L"root\\CIMV2";
const wchar_t* const kWmi = L"root\\WMI";

struct Value {
    CIMTYPE type = CIM_STRING;  // CIM_FLAG_ARRAY set for arrays
    bool is_null = false;
    std::wstring text;                // CIM_STRING
    std::vector<std::wstring> texts;  // CIM_STRING arrays
    int64_t number = 0;               // integers and CIM_BOOLEAN
    std::vector<int64_t> numbers;     // integer arrays (bytes for CIM_UINT8)

    static Value Null(CIMTYPE type = CIM_STRING);
    static Value Text(const std::wstring& s);
    static Value Texts(const std::vector<std::wstring>& v);
    static Value Int(CIMTYPE type, int64_t n);
    static Value Ints(CIMTYPE type, const std::vector<int64_t>& v);
    static Value Bytes(const std::vector<uint8_t>& b);
    static Value Bool(bool b);
};

using Instance = std::vector<std::pair<std::wstring, Value>>;

// The canonical name of a namespace path ("\\.\root\cimv2", "ROOT/WMI" ...): kCimV2,
// kWmi, or "" for another namespace. *remote is set when the path names another machine.
std::wstring CanonicalNamespace(const std::wstring& path, bool* remote = nullptr);

// Classes: SetInstances creates the class or replaces all its instances.
void SetInstances(Machine& m, const std::wstring& ns, const std::wstring& cls, const std::vector<Instance>& list);
void DeleteClass(Machine& m, const std::wstring& ns, const std::wstring& cls);
bool ClassExists(Machine& m, const std::wstring& ns, const std::wstring& cls);
std::vector<std::wstring> Classes(Machine& m, const std::wstring& ns);
std::vector<Instance> Instances(Machine& m, const std::wstring& ns, const std::wstring& cls);

// A provider that needs ms before its instances arrive (IEnumWbemClassObject::Next waits
// for them up to its time-out). In memory only.
void SetProviderDelay(Machine& m, const std::wstring& ns, const std::wstring& cls, DWORD ms);

// The calls that tests can make fail: the next `count` calls (0: all until cleared).
enum class Step { ConnectServer, CreateInstanceEnum, Next, Get };
void InjectFailure(Machine& m, Step step, HRESULT hr, unsigned count = 0);
void ClearFailures(Machine& m);

// A value as text for people ("<null>", "{a, b}", "0x1F" ...).
std::wstring Describe(const Value& v);

}  // namespace winsim::wmi
