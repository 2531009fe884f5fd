// winsim: batteries: device nodes with the battery interface, their state in the machine's
// store, and the battery class driver's requests on the interface path.
#include <windows.h>

#include <batclass.h>

#include "devices_internal.h"
#include "winsim/device.h"
#include "winsim/devices.h"

#include <algorithm>
#include <cstring>
#include <mutex>
#include <stdexcept>

namespace winsim {

namespace {

using Lock = std::lock_guard<std::recursive_mutex>;

const char* kBatteryColumns =
    "tag, capabilities, technology, chemistry, designed, full_charged, alert1, alert2, bias, cycles, power_state, "
    "capacity, voltage, rate, temperature, device_name, manufacturer, serial, unique_id, day, month, year";

void Save(Machine& m, DWORD devinst, const BatteryState& b) {
    Store& st = m.store();
    Lock g(st.mutex());
    Stmt s(st.db(), (std::string("INSERT OR REPLACE INTO batteries (devinst, ") + kBatteryColumns +
                     ") VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)")
                        .c_str());
    int i = 1;
    auto n = [&](int64_t v) { s.Bind(i++, v); };
    n(devinst);
    n(b.tag);
    n(b.capabilities);
    n(b.technology);
    s.Bind(i++, b.chemistry.substr(0, 4));
    n(b.designed_capacity);
    n(b.full_charged_capacity);
    n(b.default_alert1);
    n(b.default_alert2);
    n(b.critical_bias);
    n(b.cycle_count);
    n(b.power_state);
    n(b.capacity);
    n(b.voltage);
    n(b.rate);
    n(b.temperature);
    s.Bind(i++, Utf8(b.device_name));
    s.Bind(i++, Utf8(b.manufacturer));
    s.Bind(i++, Utf8(b.serial_number));
    s.Bind(i++, Utf8(b.unique_id));
    n(b.manufacture_day);
    n(b.manufacture_month);
    n(b.manufacture_year);
    s.Run();
}

std::optional<BatteryState> Load(Machine& m, DWORD devinst) {
    Store& st = m.store();
    Lock g(st.mutex());
    Stmt s(st.db(), (std::string("SELECT ") + kBatteryColumns + " FROM batteries WHERE devinst=?").c_str());
    s.Bind(1, static_cast<int64_t>(devinst));
    if (!s.Step()) return std::nullopt;
    BatteryState b;
    int i = 0;
    auto d = [&]() { return static_cast<DWORD>(s.Int(i++)); };
    b.tag = d();
    b.capabilities = d();
    b.technology = static_cast<BYTE>(d());
    b.chemistry = s.Text(i++);
    b.designed_capacity = d();
    b.full_charged_capacity = d();
    b.default_alert1 = d();
    b.default_alert2 = d();
    b.critical_bias = d();
    b.cycle_count = d();
    b.power_state = d();
    b.capacity = d();
    b.voltage = d();
    b.rate = static_cast<LONG>(s.Int(i++));
    b.temperature = d();
    b.device_name = Wide(s.Text(i++));
    b.manufacturer = Wide(s.Text(i++));
    b.serial_number = Wide(s.Text(i++));
    b.unique_id = Wide(s.Text(i++));
    b.manufacture_day = static_cast<BYTE>(d());
    b.manufacture_month = static_cast<BYTE>(d());
    b.manufacture_year = static_cast<WORD>(d());
    return b;
}

std::wstring BatteryPath(Machine& m, DWORD devinst) {
    for (auto& i : DeviceTree(m).Interfaces(devclass::kBattery))
        if (i.devinst == devinst) return i.path;
    return std::wstring();
}

// The battery class driver of one battery, reached as the interface path without "\\?\".
class BatteryModel : public DeviceModel {
public:
    BatteryModel(Machine& m, DWORD devinst, std::wstring path) : m_(m), devinst_(devinst), path_(std::move(path)) {}

    // The battery still exists under this path (a reset machine may have numbered anew).
    bool Present() override {
        DeviceTree t(m_);
        return t.IsPresent(devinst_) && Load(m_, devinst_) && IEquals(BatteryPath(m_, devinst_), path_);
    }

    DWORD Ioctl(DeviceHandle& h, IoctlRequest& r) override {
        if (!Present()) return ERROR_FILE_NOT_FOUND;
        if (r.code != IOCTL_BATTERY_QUERY_TAG && r.code != IOCTL_BATTERY_QUERY_INFORMATION &&
            r.code != IOCTL_BATTERY_QUERY_STATUS)
            return ERROR_INVALID_FUNCTION;
        if (!(h.access & (GENERIC_READ | GENERIC_ALL | FILE_READ_DATA))) return ERROR_ACCESS_DENIED;
        switch (r.code) {
        case IOCTL_BATTERY_QUERY_TAG: return QueryTag(r);
        case IOCTL_BATTERY_QUERY_INFORMATION: return QueryInformation(r);
        default: return QueryStatus(r);
        }
    }

private:
    template <class T>
    static T In(const IoctlRequest& r) {
        T v;
        std::memcpy(&v, r.in.data(), sizeof v);
        return v;
    }
    template <class T>
    static DWORD Out(IoctlRequest& r, const T& v) {
        if (r.out_size < sizeof v) return ERROR_INSUFFICIENT_BUFFER;
        r.out.resize(sizeof v);
        std::memcpy(r.out.data(), &v, sizeof v);
        return ERROR_SUCCESS;
    }
    static DWORD OutText(IoctlRequest& r, const std::wstring& s) {
        if (s.empty()) return ERROR_INVALID_FUNCTION;  // the battery does not report it
        size_t n = (s.size() + 1) * sizeof(WCHAR);
        if (r.out_size < n) return ERROR_INSUFFICIENT_BUFFER;
        r.out.assign(n, 0);
        std::memcpy(r.out.data(), s.c_str(), n);
        return ERROR_SUCCESS;
    }

    // Waits on the machine's clock until done() says so or wait_ms ran out (INFINITE: no
    // end); false when the battery went away meanwhile.
    template <class F>
    bool WaitFor(DWORD wait_ms, F done) {
        uint64_t start = m_.NowMs();
        while (!done()) {
            uint64_t spent = m_.NowMs() - start;
            if (wait_ms != INFINITE && spent >= wait_ms) break;
            uint64_t slice = wait_ms == INFINITE ? 1000 : std::min<uint64_t>(1000, wait_ms - spent);
            Sleep(static_cast<DWORD>(slice));
            if (!Present()) return false;
        }
        return true;
    }

    DWORD QueryTag(IoctlRequest& r) {
        if (r.in.size() < sizeof(ULONG)) return ERROR_INVALID_PARAMETER;
        if (r.out_size < sizeof(ULONG)) return ERROR_INSUFFICIENT_BUFFER;
        ULONG wait = In<ULONG>(r);
        auto b = Load(m_, devinst_);
        if (b->tag == BATTERY_TAG_INVALID && wait != 0) {
            if (!WaitFor(wait, [&] {
                    b = Load(m_, devinst_);
                    return b && b->tag != BATTERY_TAG_INVALID;
                }))
                return ERROR_FILE_NOT_FOUND;
            if (!b) return ERROR_FILE_NOT_FOUND;
        }
        ULONG tag = b->tag;
        Out(r, tag);
        return tag == BATTERY_TAG_INVALID ? ERROR_FILE_NOT_FOUND : ERROR_SUCCESS;
    }

    DWORD QueryInformation(IoctlRequest& r) {
        if (r.in.size() < sizeof(BATTERY_QUERY_INFORMATION)) return ERROR_INVALID_PARAMETER;
        auto q = In<BATTERY_QUERY_INFORMATION>(r);
        auto b = Load(m_, devinst_);
        if (b->tag == BATTERY_TAG_INVALID || q.BatteryTag != b->tag) return ERROR_FILE_NOT_FOUND;
        switch (q.InformationLevel) {
        case BatteryInformation: {
            BATTERY_INFORMATION bi;
            std::memset(&bi, 0, sizeof bi);
            bi.Capabilities = b->capabilities;
            bi.Technology = b->technology;
            std::memcpy(bi.Chemistry, b->chemistry.data(), std::min<size_t>(4, b->chemistry.size()));
            bi.DesignedCapacity = b->designed_capacity;
            bi.FullChargedCapacity = b->full_charged_capacity;
            bi.DefaultAlert1 = b->default_alert1;
            bi.DefaultAlert2 = b->default_alert2;
            bi.CriticalBias = b->critical_bias;
            bi.CycleCount = b->cycle_count;
            return Out(r, bi);
        }
        case BatteryGranularityInformation: {
            BATTERY_REPORTING_SCALE scale{1, b->designed_capacity};
            return Out(r, scale);
        }
        case BatteryTemperature:
            if (!b->temperature) return ERROR_INVALID_FUNCTION;
            return Out(r, static_cast<ULONG>(b->temperature));
        case BatteryEstimatedTime: {
            LONG rate = q.AtRate ? q.AtRate : b->rate;
            ULONG seconds = BATTERY_UNKNOWN_TIME;
            bool draining = q.AtRate ? rate < 0 : !(b->power_state & BATTERY_POWER_ON_LINE) && rate < 0;
            if (draining && b->capacity != BATTERY_UNKNOWN_CAPACITY)
                seconds = static_cast<ULONG>(static_cast<uint64_t>(b->capacity) * 3600 /
                                             static_cast<uint64_t>(-static_cast<int64_t>(rate)));
            return Out(r, seconds);
        }
        case BatteryDeviceName: return OutText(r, b->device_name);
        case BatteryManufactureDate: {
            if (!b->manufacture_year) return ERROR_INVALID_FUNCTION;
            BATTERY_MANUFACTURE_DATE d{b->manufacture_day, b->manufacture_month, b->manufacture_year};
            return Out(r, d);
        }
        case BatteryManufactureName: return OutText(r, b->manufacturer);
        case BatteryUniqueID: return OutText(r, b->unique_id);
        case BatterySerialNumber: return OutText(r, b->serial_number);
        default: return ERROR_INVALID_PARAMETER;
        }
    }

    DWORD QueryStatus(IoctlRequest& r) {
        if (r.in.size() < sizeof(BATTERY_WAIT_STATUS)) return ERROR_INVALID_PARAMETER;
        if (r.out_size < sizeof(BATTERY_STATUS)) return ERROR_INSUFFICIENT_BUFFER;
        auto w = In<BATTERY_WAIT_STATUS>(r);
        auto b = Load(m_, devinst_);
        if (b->tag == BATTERY_TAG_INVALID || w.BatteryTag != b->tag) return ERROR_FILE_NOT_FOUND;
        if (w.Timeout != 0) {
            bool gone = false;
            bool ok = WaitFor(w.Timeout, [&] {
                b = Load(m_, devinst_);
                if (!b || b->tag != w.BatteryTag) return gone = true;
                return b->power_state != w.PowerState || b->capacity < w.LowCapacity || b->capacity > w.HighCapacity;
            });
            if (!ok || gone) return ERROR_FILE_NOT_FOUND;
        }
        BATTERY_STATUS s;
        s.PowerState = b->power_state;
        s.Capacity = b->capacity;
        s.Voltage = b->voltage;
        s.Rate = b->rate;
        return Out(r, s);
    }

    Machine& m_;
    DWORD devinst_;
    std::wstring path_;
};

void Register(Machine& m, DWORD devinst, const std::wstring& path) {
    if (path.size() <= 4) return;
    m.RegisterDevice(path.substr(4), std::make_shared<BatteryModel>(m, devinst, path));
}

}  // namespace

// ---------------------------------------------------------------------------------------

BatteryState BatteryState::OnMains() { return BatteryState(); }

BatteryState BatteryState::OnBattery() {
    BatteryState b;
    b.power_state = BATTERY_DISCHARGING;
    b.rate = -9000;
    return b;
}

BatteryState BatteryState::Ups(bool on_line) {
    BatteryState b;
    b.capabilities = BATTERY_SYSTEM_BATTERY | BATTERY_IS_SHORT_TERM | BATTERY_CAPACITY_RELATIVE;
    b.chemistry = "PbAc";
    b.designed_capacity = 100;
    b.full_charged_capacity = 100;
    b.default_alert1 = 10;
    b.default_alert2 = 20;
    b.cycle_count = 0;
    b.capacity = 100;
    b.voltage = BATTERY_UNKNOWN_VOLTAGE;
    b.rate = on_line ? 0 : static_cast<LONG>(BATTERY_UNKNOWN_RATE);
    b.power_state = on_line ? BATTERY_POWER_ON_LINE : BATTERY_DISCHARGING;
    b.temperature = 0;
    b.device_name = L"UPS";
    return b;
}

DWORD DeviceTree::AddBattery(DeviceSpec desc, const BatteryState& state) {
    if (desc.instance_id.empty()) {
        for (int n = 1;; ++n) {
            std::wstring id = L"ACPI\\PNP0C0A\\" + std::to_wstring(n);
            if (!Find(id)) {
                desc.instance_id = id;
                break;
            }
        }
    }
    if (desc.class_guid.empty()) {
        desc.class_guid = devclass::kBattery;
        if (desc.class_name.empty()) desc.class_name = L"Battery";
    }
    if (!desc.hardware_ids) desc.hardware_ids = std::vector<std::wstring>{L"ACPI\\PNP0C0A", L"*PNP0C0A"};
    if (!desc.description) desc.description = L"ACPI-Compliant Control Method Battery";
    if (desc.service.empty()) desc.service = L"CmBatt";
    bool has = false;
    for (auto& i : desc.interfaces) has = has || IEquals(i, devclass::kBattery);
    if (!has) desc.interfaces.push_back(devclass::kBattery);
    DWORD dn = Add(desc);
    Save(m_, dn, state);
    Register(m_, dn, BatteryPath(m_, dn));
    return dn;
}

void DeviceTree::SetBattery(DWORD devinst, const BatteryState& state) {
    if (!Load(m_, devinst)) throw std::invalid_argument("winsim devices: not a battery");
    Save(m_, devinst, state);
}

std::optional<BatteryState> DeviceTree::Battery(DWORD devinst) const { return Load(m_, devinst); }

std::vector<DWORD> DeviceTree::Batteries() const {
    Store& st = m_.store();
    Lock g(st.mutex());
    Stmt s(st.db(), "SELECT devinst FROM batteries ORDER BY devinst");
    std::vector<DWORD> v;
    while (s.Step()) v.push_back(static_cast<DWORD>(s.Int(0)));
    return v;
}

namespace devices {

void InitBatteries(Machine& m) {
    m.store().Exec(
        "CREATE TABLE IF NOT EXISTS batteries (devinst INTEGER PRIMARY KEY, tag INTEGER, capabilities INTEGER, "
        "technology INTEGER, chemistry TEXT, designed INTEGER, full_charged INTEGER, alert1 INTEGER, alert2 INTEGER, "
        "bias INTEGER, cycles INTEGER, power_state INTEGER, capacity INTEGER, voltage INTEGER, rate INTEGER, "
        "temperature INTEGER, device_name TEXT, manufacturer TEXT, serial TEXT, unique_id TEXT, day INTEGER, "
        "month INTEGER, year INTEGER)");
    for (DWORD dn : DeviceTree(m).Batteries()) Register(m, dn, BatteryPath(m, dn));
}

void ForgetBattery(Machine& m, DWORD devinst) {
    Store& st = m.store();
    Lock g(st.mutex());
    Stmt s(st.db(), "DELETE FROM batteries WHERE devinst=?");
    s.Bind(1, static_cast<int64_t>(devinst)).Run();
}

void EraseBatteries(Machine& m) { m.store().Exec("DELETE FROM batteries"); }

}  // namespace devices
}  // namespace winsim
