// winsim: the maker's method and event driver \\.\VUNDG.
#include "winsim/vundg.h"

#include <windows.h>

#include "drivers.h"
#include "winsim/device.h"

#include <cstring>

namespace winsim {

namespace {
constexpr const char* kNs = "vundg";
constexpr DWORD kEvalSignature = 0x42696541;    // "AeiB"
constexpr DWORD kOutputSignature = 0x426F6541;  // "AeoB"
constexpr DWORD kDefaultReplySize = 28;

DWORD U32(const std::vector<uint8_t>& b, size_t off) {
    DWORD v = 0;
    if (off + 4 <= b.size()) std::memcpy(&v, b.data() + off, 4);
    return v;
}

void Put32(std::vector<uint8_t>& b, size_t off, DWORD v) {
    if (off + 4 <= b.size()) std::memcpy(b.data() + off, &v, 4);
}

void Put16(std::vector<uint8_t>& b, size_t off, WORD v) {
    if (off + 2 <= b.size()) std::memcpy(b.data() + off, &v, 2);
}

std::string MethodName(DWORD v) {
    std::string s(4, ' ');
    std::memcpy(&s[0], &v, 4);
    return s;
}

void Log(Machine& m, DWORD code, const std::vector<uint8_t>& in, DWORD result, const std::vector<uint8_t>& out) {
    Store& s = m.store();
    std::lock_guard<std::recursive_mutex> g(s.mutex());
    Stmt st(s.db(), "INSERT INTO vundg_log (time_ms, pid, code, input, result, output) VALUES (?, ?, ?, ?, ?, ?)");
    Thread* t = CurrentThreadOrNull();
    st.Bind(1, static_cast<int64_t>(m.NowMs())).Bind(2, static_cast<int64_t>(t ? t->process->pid : 0));
    st.Bind(3, static_cast<int64_t>(code)).Bind(4, in).Bind(5, static_cast<int64_t>(result)).Bind(6, out).Run();
    s.KeepLast("vundg_log", sqlite3_last_insert_rowid(s.db()));
}

class VundgModel : public DeviceModel {
public:
    explicit VundgModel(Machine& m) : m_(m) {}
    bool Present() override { return VundgDriver(m_).present(); }
    // Both the service's open (no access, sharing read and write) and the GUI's
    // (GENERIC_READ, sharing read) are accepted.
    DWORD Open(Process&, DeviceHandle&) override { return VundgDriver(m_).open_error(); }
    DWORD Ioctl(DeviceHandle&, IoctlRequest& r) override {
        DWORD err = Handle(r);
        Log(m_, r.code, r.in, err, err ? std::vector<uint8_t>() : r.out);
        return err;
    }

private:
    DWORD Handle(IoctlRequest& r) {
        VundgDriver d(m_);
        if (r.code == kIoctlVundgEvalMethod) {
            if (r.in.size() < 16 || U32(r.in, 4) != 8 || U32(r.in, 8) != kEvalSignature) return ERROR_INVALID_PARAMETER;
            if (DWORD e = d.method_error()) return e;
            auto value = d.method(MethodName(U32(r.in, 12)));
            if (!value) return ERROR_FILE_NOT_FOUND;
            DWORD n = d.reply_size();
            if (r.out_size < n) return ERROR_INSUFFICIENT_BUFFER;
            std::vector<uint8_t> out(kDefaultReplySize, 0);
            Put32(out, 0, d.reply_status());
            Put32(out, 4, 20);
            Put32(out, 8, kOutputSignature);
            Put32(out, 12, 20);
            Put32(out, 16, 1);
            Put16(out, 20, 0);
            Put16(out, 22, 4);
            Put32(out, 24, *value);
            out.resize(n, 0);
            r.out = std::move(out);
            return 0;
        }
        if (r.code == kIoctlVundgWaitEvent) {
            if (r.in.size() < 8) return ERROR_INVALID_PARAMETER;
            if (r.out_size < 4) return ERROR_INSUFFICIENT_BUFFER;
            if (DWORD e = d.event_error()) return e;
            r.tag = U32(r.in, 4);
            return ERROR_IO_PENDING;
        }
        return ERROR_INVALID_FUNCTION;
    }

    Machine& m_;
};

std::shared_ptr<VundgModel> Model(Machine& m) { return m.Device<VundgModel>(L"VUNDG"); }
}  // namespace

bool VundgDriver::present() { return m_.store().GetInt(kNs, "present", 0) != 0; }
void VundgDriver::set_present(bool on) { m_.store().SetInt(kNs, "present", on); }
DWORD VundgDriver::open_error() { return static_cast<DWORD>(m_.store().GetInt(kNs, "open_error", 0)); }
void VundgDriver::set_open_error(DWORD err) { m_.store().SetInt(kNs, "open_error", err); }

std::optional<DWORD> VundgDriver::method(const std::string& name) {
    auto v = m_.store().GetInt(kNs, "method." + name);
    if (!v) return std::nullopt;
    return static_cast<DWORD>(*v);
}
void VundgDriver::set_method(const std::string& name, DWORD value) { m_.store().SetInt(kNs, "method." + name, value); }
void VundgDriver::remove_method(const std::string& name) { m_.store().DeleteSetting(kNs, "method." + name); }

DWORD VundgDriver::method_error() { return static_cast<DWORD>(m_.store().GetInt(kNs, "method_error", 0)); }
void VundgDriver::set_method_error(DWORD err) { m_.store().SetInt(kNs, "method_error", err); }
DWORD VundgDriver::reply_status() { return static_cast<DWORD>(m_.store().GetInt(kNs, "reply_status", 0)); }
void VundgDriver::set_reply_status(DWORD st) { m_.store().SetInt(kNs, "reply_status", st); }
DWORD VundgDriver::reply_size() { return static_cast<DWORD>(m_.store().GetInt(kNs, "reply_size", kDefaultReplySize)); }
void VundgDriver::set_reply_size(DWORD n) { m_.store().SetInt(kNs, "reply_size", n > 28 ? 28 : n); }
DWORD VundgDriver::event_error() { return static_cast<DWORD>(m_.store().GetInt(kNs, "event_error", 0)); }
void VundgDriver::set_event_error(DWORD err) { m_.store().SetInt(kNs, "event_error", err); }

size_t VundgDriver::Fire(DWORD id, DWORD value) {
    std::vector<uint8_t> rec(8);
    Put32(rec, 0, id);
    Put32(rec, 4, value);
    Log(m_, 0, rec, 0, {});
    auto model = Model(m_);
    if (!model) return 0;
    std::vector<std::shared_ptr<PendingRequest>> hit;
    for (auto& r : model->pending())
        if (r->code == kIoctlVundgWaitEvent && r->tag == id) hit.push_back(r);
    std::vector<uint8_t> out(8, 0);
    Put32(out, 0, value);
    for (auto& r : hit) model->CompletePending(r, ERROR_SUCCESS, out.data(), 8);
    return hit.size();
}

size_t VundgDriver::Pending(DWORD id) {
    auto model = Model(m_);
    size_t n = 0;
    if (model)
        for (auto& r : model->pending()) n += r->code == kIoctlVundgWaitEvent && r->tag == id;
    return n;
}

std::vector<VundgRequest> VundgDriver::log() { return log_since(0); }

std::vector<VundgRequest> VundgDriver::log_since(uint64_t seq) {
    Store& s = m_.store();
    std::lock_guard<std::recursive_mutex> g(s.mutex());
    Stmt st(s.db(), "SELECT time_ms, pid, code, input, result, output, seq FROM vundg_log WHERE seq > ? ORDER BY seq");
    st.Bind(1, static_cast<int64_t>(seq));
    std::vector<VundgRequest> v;
    while (st.Step()) {
        VundgRequest r;
        r.time_ms = static_cast<uint64_t>(st.Int(0));
        r.pid = static_cast<DWORD>(st.Int(1));
        r.code = static_cast<DWORD>(st.Int(2));
        r.in = st.Blob(3);
        r.result = static_cast<DWORD>(st.Int(4));
        r.out = st.Blob(5);
        r.seq = static_cast<uint64_t>(st.Int(6));
        v.push_back(std::move(r));
    }
    return v;
}

void VundgDriver::clear_log() { m_.store().ClearLog("vundg_log"); }

namespace drivers {

void InitVundg(Machine& m) {
    m.store().Exec(
        "CREATE TABLE IF NOT EXISTS vundg_log (seq INTEGER PRIMARY KEY AUTOINCREMENT, time_ms INTEGER, "
        "pid INTEGER, code INTEGER, input BLOB, result INTEGER, output BLOB)");
    m.RegisterDevice(L"VUNDG", std::make_shared<VundgModel>(m));
}

void ProfileVundg(Machine& m, const std::string& profile) {
    VundgDriver d(m);
    bool tablet = profile == "tablet";
    d.set_present(tablet);
    // Bits 0-1 of PLST: 1 is the tablet posture, in which the display orientation counts.
    if (tablet) d.set_plst(1);
}

void ResetVundg(Machine& m) { m.store().ClearLog("vundg_log"); }

}  // namespace drivers
}  // namespace winsim
