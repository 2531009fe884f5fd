// winsim: the HCI driver \\.\VUNDD over the machine's store.
#include "winsim/device.h"
#include "winsim/hci.h"

#include "drivers.h"

#include <windows.h>

#include <cstring>

namespace winsim {

namespace {
constexpr const char* kNs = "hci";
constexpr DWORD kHciSet = 0xFF00;
constexpr DWORD kHciGet = 0xFE00;
constexpr DWORD kRegWwan = 0x56;
constexpr DWORD kSelPower = 0x4000;
constexpr DWORD kSelRf = 0x2000;
constexpr DWORD kSelStatus = 1;
constexpr DWORD kSelPosture = 3;

std::string SelKey(const char* what, DWORD sel) { return std::string(what) + "." + std::to_string(sel); }

class VunddModel : public DeviceModel {
public:
    explicit VunddModel(Machine& m) : m_(m) {}
    bool Present() override { return HciDriver(m_).present(); }
    DWORD Open(Process&, DeviceHandle&) override { return HciDriver(m_).open_error(); }
    DWORD Ioctl(DeviceHandle& h, IoctlRequest& r) override;

private:
    DWORD Handle(IoctlRequest& r);

    Machine& m_;
};

void LogRequest(Machine& m, const std::array<DWORD, 6>& in, const std::array<DWORD, 6>& out, bool completed) {
    Store& s = m.store();
    std::lock_guard<std::recursive_mutex> g(s.mutex());
    Stmt st(s.db(),
            "INSERT INTO hci_log (time_ms, pid, w0, w1, w2, w3, w4, w5, r0, r1, r2, r3, r4, r5, completed) "
            "VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)");
    Thread* t = CurrentThreadOrNull();
    st.Bind(1, static_cast<int64_t>(m.NowMs())).Bind(2, static_cast<int64_t>(t ? t->process->pid : 0));
    for (int i = 0; i < 6; ++i) st.Bind(3 + i, static_cast<int64_t>(in[i]));
    for (int i = 0; i < 6; ++i) st.Bind(9 + i, static_cast<int64_t>(out[i]));
    st.Bind(15, completed ? 1 : 0).Run();
    s.KeepLast("hci_log", sqlite3_last_insert_rowid(s.db()));
}

// The request reads the driver's settings, may change one and is logged: one transaction.
DWORD VunddModel::Ioctl(DeviceHandle&, IoctlRequest& r) {
    DWORD rc = 0;
    m_.store().Transaction([&] { rc = Handle(r); });
    return rc;
}

DWORD VunddModel::Handle(IoctlRequest& r) {
    if (r.code != kIoctlVunddHci || r.in.size() != 24 || r.out_size != 24) return ERROR_INVALID_PARAMETER;
    std::array<DWORD, 6> in{};
    std::memcpy(in.data(), r.in.data(), 24);
    HciDriver d(m_);
    DWORD sel = in[3];
    if (d.refused(sel)) {
        LogRequest(m_, in, in, false);
        return ERROR_GEN_FAILURE;
    }
    std::array<DWORD, 6> out = in;
    DWORD status = 0;
    DWORD injected = d.error_for(sel);
    if (injected & 0xFF00) {
        // A failure reply: nothing changes.
        status = injected;
    } else if (in[1] != kRegWwan) {
        status = kHciReplyNotSupported;
    } else if (in[0] == kHciSet && sel == kSelRf && in[2] <= 1) {
        d.set_rf(in[2] == 1);
    } else if (in[0] == kHciSet && sel == kSelPower && in[2] <= 1) {
        d.set_power(in[2] == 1);
    } else if (in[0] == kHciGet && sel == kSelStatus) {
        out[2] = d.status();
    } else if (in[0] == kHciGet && sel == kSelPosture) {
        out[2] = d.posture_flags();
    } else {
        status = kHciReplyNotSupported;
    }
    // A status without a high byte is a success with an unusual low byte.
    if (status == 0 && injected) status = injected;
    out[0] = status;
    LogRequest(m_, in, out, true);
    r.out.resize(24);
    std::memcpy(r.out.data(), out.data(), 24);
    return 0;
}
}  // namespace

bool HciDriver::present() { return m_.store().GetInt(kNs, "present", 0) != 0; }
void HciDriver::set_present(bool on) { m_.store().SetInt(kNs, "present", on); }
DWORD HciDriver::open_error() { return static_cast<DWORD>(m_.store().GetInt(kNs, "open_error", 0)); }
void HciDriver::set_open_error(DWORD err) { m_.store().SetInt(kNs, "open_error", err); }
bool HciDriver::rf() { return m_.store().GetInt(kNs, "rf", 0) != 0; }
void HciDriver::set_rf(bool on) { m_.store().SetInt(kNs, "rf", on); }
bool HciDriver::power() { return m_.store().GetInt(kNs, "power", 0) != 0; }
void HciDriver::set_power(bool on) { m_.store().SetInt(kNs, "power", on); }
DWORD HciDriver::status() { return static_cast<DWORD>(m_.store().GetInt(kNs, "status", 0)); }
void HciDriver::set_status(DWORD w) { m_.store().SetInt(kNs, "status", w); }
void HciDriver::set_switch(bool on) { set_status(on ? (status() | 1u) : (status() & ~1u)); }
DWORD HciDriver::posture_flags() { return static_cast<DWORD>(m_.store().GetInt(kNs, "posture", 0)); }
void HciDriver::set_posture_flags(DWORD flags) { m_.store().SetInt(kNs, "posture", flags); }
int HciDriver::rf_after_resume() { return static_cast<int>(m_.store().GetInt(kNs, "rf_after_resume", -1)); }
void HciDriver::set_rf_after_resume(int v) { m_.store().SetInt(kNs, "rf_after_resume", v); }

void HciDriver::set_error(DWORD selector, DWORD reply_status) {
    if (reply_status)
        m_.store().SetInt(kNs, SelKey("error", selector), reply_status);
    else
        m_.store().DeleteSetting(kNs, SelKey("error", selector));
}

void HciDriver::set_refused(DWORD selector, bool on) {
    if (on)
        m_.store().SetInt(kNs, SelKey("refused", selector), 1);
    else
        m_.store().DeleteSetting(kNs, SelKey("refused", selector));
}

DWORD HciDriver::error_for(DWORD selector) {
    return static_cast<DWORD>(m_.store().GetInt(kNs, SelKey("error", selector), 0));
}

bool HciDriver::refused(DWORD selector) { return m_.store().GetInt(kNs, SelKey("refused", selector), 0) != 0; }

std::vector<HciRequest> HciDriver::log() { return log_since(0); }

std::vector<HciRequest> HciDriver::log_since(uint64_t seq) {
    Store& s = m_.store();
    std::lock_guard<std::recursive_mutex> g(s.mutex());
    Stmt st(s.db(),
            "SELECT time_ms, pid, w0, w1, w2, w3, w4, w5, r0, r1, r2, r3, r4, r5, completed, seq FROM hci_log "
            "WHERE seq > ? ORDER BY seq");
    st.Bind(1, static_cast<int64_t>(seq));
    std::vector<HciRequest> v;
    while (st.Step()) {
        HciRequest r{};
        r.time_ms = static_cast<uint64_t>(st.Int(0));
        r.pid = static_cast<DWORD>(st.Int(1));
        for (int i = 0; i < 6; ++i) r.in[i] = static_cast<DWORD>(st.Int(2 + i));
        for (int i = 0; i < 6; ++i) r.out[i] = static_cast<DWORD>(st.Int(8 + i));
        r.completed = st.Int(14) != 0;
        r.seq = static_cast<uint64_t>(st.Int(15));
        v.push_back(r);
    }
    return v;
}

void HciDriver::clear_log() { m_.store().ClearLog("hci_log"); }

void HciDriver::OnResume() {
    int v = rf_after_resume();
    if (v >= 0) set_rf(v == 1);
}

namespace drivers {

void InitVundd(Machine& m) {
    m.store().Exec(
        "CREATE TABLE IF NOT EXISTS hci_log (seq INTEGER PRIMARY KEY AUTOINCREMENT, time_ms INTEGER, "
        "pid INTEGER, w0, w1, w2, w3, w4, w5, r0, r1, r2, r3, r4, r5, completed INTEGER)");
    m.RegisterDevice(L"VUNDD", std::make_shared<VunddModel>(m));
}

void ProfileVundd(Machine& m, const std::string& profile) {
    HciDriver d(m);
    bool tablet = profile == "tablet";
    d.set_present(tablet);
    d.set_rf(tablet);
    d.set_power(tablet);
    // The wireless switch is on; the RF-stop posture is the display turned to 270 degrees.
    d.set_status(tablet ? 1u : 0u);
    d.set_posture_flags(tablet ? 0x1000u : 0u);
}

void ResetVundd(Machine& m) { m.store().ClearLog("hci_log"); }

}  // namespace drivers
}  // namespace winsim
