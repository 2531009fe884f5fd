// winsim: the machine's WMI classes and instances in its store, the profiles' data and the
// test API of winsim/wmi.h.
#include "wmi_internal.h"

#include "internal.h"
#include "winsim/store.h"

#include <mutex>

namespace winsim::wmi {

namespace {

std::string U8(const std::wstring& s) { return Utf8(s); }

const char kSep = '\x1f';

std::string JoinTexts(const std::vector<std::wstring>& v) {
    std::string s;
    for (size_t i = 0; i < v.size(); ++i) {
        if (i) s.push_back(kSep);
        s += U8(v[i]);
    }
    return s;
}

std::vector<std::wstring> SplitTexts(const std::string& s, size_t count) {
    std::vector<std::wstring> v;
    if (count == 0) return v;
    size_t start = 0;
    for (size_t i = 0; i <= s.size(); ++i) {
        if (i == s.size() || s[i] == kSep) {
            v.push_back(Wide(s.substr(start, i - start)));
            start = i + 1;
        }
    }
    return v;
}

std::vector<uint8_t> PackNumbers(const std::vector<int64_t>& v) {
    std::vector<uint8_t> b;
    for (int64_t n : v)
        for (int k = 0; k < 8; ++k) b.push_back(static_cast<uint8_t>(static_cast<uint64_t>(n) >> (8 * k)));
    return b;
}

std::vector<int64_t> UnpackNumbers(const std::vector<uint8_t>& b) {
    std::vector<int64_t> v;
    for (size_t i = 0; i + 8 <= b.size(); i += 8) {
        uint64_t n = 0;
        for (int k = 0; k < 8; ++k) n |= static_cast<uint64_t>(b[i + static_cast<size_t>(k)]) << (8 * k);
        v.push_back(static_cast<int64_t>(n));
    }
    return v;
}

}  // namespace

Value Value::Null(CIMTYPE type) {
    Value v;
    v.type = type;
    v.is_null = true;
    return v;
}
Value Value::Text(const std::wstring& s) {
    Value v;
    v.text = s;
    return v;
}
Value Value::Texts(const std::vector<std::wstring>& list) {
    Value v;
    v.type = CIM_STRING | CIM_FLAG_ARRAY;
    v.texts = list;
    return v;
}
Value Value::Int(CIMTYPE type, int64_t n) {
    Value v;
    v.type = type;
    v.number = n;
    return v;
}
Value Value::Ints(CIMTYPE type, const std::vector<int64_t>& list) {
    Value v;
    v.type = type | CIM_FLAG_ARRAY;
    v.numbers = list;
    return v;
}
Value Value::Bytes(const std::vector<uint8_t>& b) { return Ints(CIM_UINT8, std::vector<int64_t>(b.begin(), b.end())); }
Value Value::Bool(bool b) { return Int(CIM_BOOLEAN, b ? 1 : 0); }

std::wstring CanonicalNamespace(const std::wstring& path, bool* remote) {
    if (remote) *remote = false;
    std::wstring p = path;
    for (auto& c : p)
        if (c == L'/') c = L'\\';
    if (p.rfind(L"\\\\", 0) == 0) {
        size_t end = p.find(L'\\', 2);
        std::wstring server = p.substr(2, end == std::wstring::npos ? std::wstring::npos : end - 2);
        if (server != L"." && !IEquals(server, L"localhost")) {
            if (remote) *remote = true;
            return L"";
        }
        p = end == std::wstring::npos ? L"" : p.substr(end + 1);
    }
    while (!p.empty() && p.back() == L'\\') p.pop_back();
    if (IEquals(p, L"root\\cimv2")) return kCimV2;
    if (IEquals(p, L"root\\wmi")) return kWmi;
    return L"";
}

void SetInstances(Machine& m, const std::wstring& ns, const std::wstring& cls, const std::vector<Instance>& list) {
    Store& st = m.store();
    std::lock_guard<std::recursive_mutex> g(st.mutex());
    st.Transaction([&] {
        DeleteClass(m, ns, cls);
        Stmt c(st.db(), "INSERT INTO wmi_classes (ns, class) VALUES (?, ?)");
        c.Bind(1, U8(Lower(ns))).Bind(2, U8(cls)).Run();
        Stmt p(st.db(),
               "INSERT INTO wmi_props (ns, class, inst, seq, name, cim, is_null, num, text, blob) "
               "VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?)");
        for (size_t i = 0; i < list.size(); ++i) {
            for (size_t k = 0; k < list[i].size(); ++k) {
                const auto& [name, v] = list[i][k];
                p.Reset();
                p.Bind(1, U8(Lower(ns)))
                    .Bind(2, U8(cls))
                    .Bind(3, static_cast<int64_t>(i))
                    .Bind(4, static_cast<int64_t>(k));
                p.Bind(5, U8(name)).Bind(6, static_cast<int64_t>(v.type)).Bind(7, v.is_null ? 1 : 0);
                bool array = (v.type & CIM_FLAG_ARRAY) != 0;
                bool text = (v.type & ~CIM_FLAG_ARRAY) == CIM_STRING;
                p.Bind(8, array ? static_cast<int64_t>(text ? v.texts.size() : v.numbers.size()) : v.number);
                p.Bind(9, array ? JoinTexts(v.texts) : U8(v.text));
                p.Bind(10, PackNumbers(v.numbers));
                p.Run();
            }
        }
    });
}

void DeleteClass(Machine& m, const std::wstring& ns, const std::wstring& cls) {
    Store& st = m.store();
    std::lock_guard<std::recursive_mutex> g(st.mutex());
    Stmt(st.db(), "DELETE FROM wmi_classes WHERE ns=? AND class=? COLLATE NOCASE")
        .Bind(1, U8(Lower(ns)))
        .Bind(2, U8(cls))
        .Run();
    Stmt(st.db(), "DELETE FROM wmi_props WHERE ns=? AND class=? COLLATE NOCASE")
        .Bind(1, U8(Lower(ns)))
        .Bind(2, U8(cls))
        .Run();
}

bool ClassExists(Machine& m, const std::wstring& ns, const std::wstring& cls) { return !ClassName(m, ns, cls).empty(); }

std::wstring ClassName(Machine& m, const std::wstring& ns, const std::wstring& cls) {
    Store& st = m.store();
    std::lock_guard<std::recursive_mutex> g(st.mutex());
    Stmt s(st.db(), "SELECT class FROM wmi_classes WHERE ns=? AND class=? COLLATE NOCASE");
    s.Bind(1, U8(Lower(ns))).Bind(2, U8(cls));
    return s.Step() ? Wide(s.Text(0)) : L"";
}

std::vector<std::wstring> Classes(Machine& m, const std::wstring& ns) {
    Store& st = m.store();
    std::lock_guard<std::recursive_mutex> g(st.mutex());
    Stmt s(st.db(), "SELECT class FROM wmi_classes WHERE ns=? ORDER BY class COLLATE NOCASE");
    s.Bind(1, U8(Lower(ns)));
    std::vector<std::wstring> v;
    while (s.Step()) v.push_back(Wide(s.Text(0)));
    return v;
}

std::vector<Instance> Instances(Machine& m, const std::wstring& ns, const std::wstring& cls) {
    Store& st = m.store();
    std::lock_guard<std::recursive_mutex> g(st.mutex());
    Stmt s(st.db(),
           "SELECT inst, name, cim, is_null, num, text, blob FROM wmi_props WHERE ns=? AND class=? COLLATE NOCASE "
           "ORDER BY inst, seq");
    s.Bind(1, U8(Lower(ns))).Bind(2, U8(cls));
    std::vector<Instance> v;
    int64_t last = -1;
    while (s.Step()) {
        if (s.Int(0) != last) {
            v.emplace_back();
            last = s.Int(0);
        }
        Value val;
        val.type = static_cast<CIMTYPE>(s.Int(2));
        val.is_null = s.Int(3) != 0;
        bool array = (val.type & CIM_FLAG_ARRAY) != 0;
        bool text = (val.type & ~CIM_FLAG_ARRAY) == CIM_STRING;
        if (array && text)
            val.texts = SplitTexts(s.Text(5), static_cast<size_t>(s.Int(4)));
        else if (array)
            val.numbers = UnpackNumbers(s.Blob(6));
        else if (text)
            val.text = Wide(s.Text(5));
        else
            val.number = s.Int(4);
        v.back().emplace_back(Wide(s.Text(1)), val);
    }
    return v;
}

namespace {

struct Injected {
    HRESULT hr;
    unsigned count;
};

struct WmiState {
    explicit WmiState(Machine&) {}
    std::mutex mu;
    std::map<std::wstring, DWORD> delays;  // "ns\class" lower case
    std::map<Step, Injected> failures;
};

WmiState& State(Machine& m) { return m.Ext<WmiState>("wmi"); }

std::wstring DelayKey(const std::wstring& ns, const std::wstring& cls) { return Lower(ns) + L"\\" + Lower(cls); }

}  // namespace

void SetProviderDelay(Machine& m, const std::wstring& ns, const std::wstring& cls, DWORD ms) {
    WmiState& s = State(m);
    std::lock_guard<std::mutex> g(s.mu);
    s.delays[DelayKey(ns, cls)] = ms;
}

DWORD ProviderDelay(Machine& m, const std::wstring& ns, const std::wstring& cls) {
    WmiState& s = State(m);
    std::lock_guard<std::mutex> g(s.mu);
    auto it = s.delays.find(DelayKey(ns, cls));
    return it == s.delays.end() ? 0 : it->second;
}

void InjectFailure(Machine& m, Step step, HRESULT hr, unsigned count) {
    WmiState& s = State(m);
    std::lock_guard<std::mutex> g(s.mu);
    s.failures[step] = {hr, count};
}

void ClearFailures(Machine& m) {
    WmiState& s = State(m);
    std::lock_guard<std::mutex> g(s.mu);
    s.failures.clear();
}

bool Injected(Machine& m, Step step, HRESULT* hr) {
    WmiState& s = State(m);
    std::lock_guard<std::mutex> g(s.mu);
    auto it = s.failures.find(step);
    if (it == s.failures.end()) return false;
    *hr = it->second.hr;
    if (it->second.count && --it->second.count == 0) s.failures.erase(it);
    return true;
}

std::wstring Describe(const Value& v) {
    if (v.is_null) return L"<null>";
    CIMTYPE base = v.type & ~CIM_FLAG_ARRAY;
    if (v.type & CIM_FLAG_ARRAY) {
        std::wstring s = L"{";
        size_t n = base == CIM_STRING ? v.texts.size() : v.numbers.size();
        for (size_t i = 0; i < n; ++i) {
            if (i) s += L", ";
            if (base == CIM_STRING)
                s += L"\"" + v.texts[i] + L"\"";
            else
                s += std::to_wstring(v.numbers[i]);
        }
        return s + L"}";
    }
    if (base == CIM_STRING) return L"\"" + v.text + L"\"";
    if (base == CIM_BOOLEAN) return v.number ? L"TRUE" : L"FALSE";
    return std::to_wstring(v.number);
}

}  // namespace winsim::wmi

namespace winsim::internal {

void InitWmi(Machine& m) {
    m.store().Exec("CREATE TABLE IF NOT EXISTS wmi_classes (ns TEXT NOT NULL, class TEXT NOT NULL)");
    m.store().Exec(
        "CREATE TABLE IF NOT EXISTS wmi_props (ns TEXT NOT NULL, class TEXT NOT NULL, inst INTEGER, seq INTEGER, "
        "name TEXT, cim INTEGER, is_null INTEGER, num INTEGER, text TEXT, blob BLOB)");
}

void ResetWmi(Machine& m) {
    m.store().Exec("DELETE FROM wmi_classes");
    m.store().Exec("DELETE FROM wmi_props");
}

void ProfileWmi(Machine& m, const std::string& profile) {
    using wmi::Value;
    bool tablet = profile == "tablet";
    wmi::SetInstances(m, wmi::kCimV2, L"Win32_ComputerSystem",
                      {{{L"Name", Value::Text(L"VELTRANE-PC")},
                        {L"Manufacturer", Value::Text(tablet ? L"QUARVEN" : L"System manufacturer")},
                        {L"Model", Value::Text(tablet ? L"QV-T10" : L"System Product Name")},
                        {L"NumberOfProcessors", Value::Int(CIM_UINT32, 1)},
                        {L"TotalPhysicalMemory", Value::Int(CIM_UINT64, 4294967296LL)},
                        {L"PartOfDomain", Value::Bool(false)},
                        {L"OEMStringArray", tablet ? Value::Texts({L"QVT10J-0100", L"Veltrane Tablet"})
                                                   : Value::Null(CIM_STRING | CIM_FLAG_ARRAY)},
                        {L"OEMLogoBitmap", Value::Null(CIM_UINT8 | CIM_FLAG_ARRAY)}}});
    wmi::SetInstances(m, wmi::kCimV2, L"Win32_ComputerSystemProduct",
                      {{{L"Vendor", Value::Text(tablet ? L"QUARVEN" : L"System manufacturer")},
                        {L"Name", Value::Text(tablet ? L"QV-T10" : L"System Product Name")},
                        {L"IdentifyingNumber", Value::Text(tablet ? L"QVT10J00012345" : L"System Serial Number")},
                        {L"UUID", Value::Text(L"7D3E9A51-2C84-4B6F-A019-5E62C3D8F417")},
                        {L"Version", Value::Text(tablet ? L"1.0" : L"System Version")}}});
    wmi::SetInstances(m, wmi::kWmi, L"MS_SystemInformation",
                      {{{L"InstanceName", Value::Text(L"ACPI\\PNP0C14\\0_0")},
                        {L"Active", Value::Bool(true)},
                        {L"SystemManufacturer", Value::Text(tablet ? L"QUARVEN" : L"System manufacturer")},
                        {L"SystemProductName", Value::Text(tablet ? L"QV-T10" : L"System Product Name")},
                        {L"BIOSVersion", Value::Text(tablet ? L"QVT10.0105" : L"0401")}}});
}

}  // namespace winsim::internal
