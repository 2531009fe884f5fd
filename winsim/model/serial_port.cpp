// winsim: serial ports \\.\COMn over the device tree: the port's device model, its settings
// and its modem's input.
#include <windows.h>

#include "devices_internal.h"
#include "winsim/device.h"
#include "winsim/devices.h"
#include "winsim/serial.h"

#include <algorithm>
#include <cstring>
#include <deque>

namespace winsim {

namespace {

using serial::Ns;
using serial::RxChunk;

std::string Hex(const void* p, size_t n) {
    static const char* d = "0123456789abcdef";
    std::string s;
    for (size_t i = 0; i < n; ++i) {
        uint8_t b = static_cast<const uint8_t*>(p)[i];
        s += d[b >> 4];
        s += d[b & 15];
    }
    return s;
}

bool Unhex(const std::string& s, void* p, size_t n) {
    if (s.size() != 2 * n) return false;
    auto v = [](char c) { return c <= '9' ? c - '0' : c - 'a' + 10; };
    for (size_t i = 0; i < n; ++i)
        static_cast<uint8_t*>(p)[i] = static_cast<uint8_t>(v(s[2 * i]) << 4 | v(s[2 * i + 1]));
    return true;
}

DCB DefaultDcb() {
    DCB d;
    std::memset(&d, 0, sizeof d);
    d.DCBlength = sizeof(DCB);
    d.BaudRate = CBR_9600;
    d.fBinary = 1;
    d.fDtrControl = DTR_CONTROL_ENABLE;
    d.fRtsControl = RTS_CONTROL_ENABLE;
    d.XonLim = 2048;
    d.XoffLim = 512;
    d.ByteSize = 8;
    d.Parity = NOPARITY;
    d.StopBits = ONESTOPBIT;
    d.XonChar = 0x11;
    d.XoffChar = 0x13;
    return d;
}

// What a handle knows of the device it was opened on.
struct PortHandleState {
    DWORD devinst = 0;
    uint64_t generation = 0;
};

}  // namespace

class SerialPortModel : public DeviceModel {
public:
    SerialPortModel(Machine& m, std::wstring name)
        : m_(m), name_(std::move(name)), rx_event_(std::make_shared<Event>(false, false)) {}

    const std::wstring& name() const { return name_; }

    bool Present() override { return DeviceTree(m_).FindPort(name_) != 0; }

    DWORD Open(Process& p, DeviceHandle& h) override {
        DeviceTree tree(m_);
        DWORD dn = tree.FindPort(name_);
        if (!dn) return ERROR_FILE_NOT_FOUND;
        if (DWORD e = SerialPorts(m_).open_error(name_)) return e;
        if (OpenOn(dn) || test_holder_ || SerialPorts(m_).held(name_)) return ERROR_ACCESS_DENIED;
        auto node = tree.Get(dn);
        auto st = std::make_shared<PortHandleState>();
        st->devinst = dn;
        st->generation = node->generation;
        h.state = st;
        opener_ = std::static_pointer_cast<DeviceHandle>(h.shared_from_this());
        opener_pid_ = p.pid;
        opener_state_ = st;
        rx_.clear();
        line_.clear();
        return 0;
    }

    void Close(DeviceHandle& h) override {
        if (opener_.lock().get() == &h) {
            opener_.reset();
            opener_state_.reset();
            opener_pid_ = 0;
        }
    }

    // Open on the device now at dn (a handle from before a removal does not count).
    bool OpenOn(DWORD dn) {
        auto h = opener_.lock();
        auto st = opener_state_.lock();
        if (!h || !st || st->devinst != dn) return false;
        auto node = DeviceTree(m_).Get(dn);
        return node && node->present && node->generation == st->generation;
    }
    bool Open() { return OpenOn(DeviceTree(m_).FindPort(name_)); }
    DWORD opener_pid() { return Open() ? opener_pid_ : 0; }

    // 0 when the handle's device is still there.
    DWORD Check(DeviceHandle& h) {
        auto st = std::static_pointer_cast<PortHandleState>(h.state);
        if (!st) return ERROR_INVALID_HANDLE;
        auto node = DeviceTree(m_).Get(st->devinst);
        if (!node || !node->present || node->generation != st->generation) return ERROR_BAD_COMMAND;
        return 0;
    }

    void Queue(const std::vector<RxChunk>& chunks) {
        for (auto& c : chunks) {
            auto at =
                std::upper_bound(rx_.begin(), rx_.end(), c.at, [](uint64_t t, const RxChunk& x) { return t < x.at; });
            rx_.insert(at, c);
        }
        if (!chunks.empty()) rx_event_->Set();
    }

    void Wake() { rx_event_->Set(); }

    DWORD Write(DeviceHandle& h, const void* buf, DWORD n, DWORD* put) override {
        *put = 0;
        if (DWORD e = Check(h)) return e;
        if (DWORD e = SerialPorts(m_).write_error(name_)) return e;
        if (!buf && n) return ERROR_NOACCESS;
        std::string bytes(static_cast<const char*>(buf), n);
        Queue(serial::ModemInput(m_, name_, &line_, bytes, m_.NowMs()));
        *put = n;
        return 0;
    }

    DWORD Read(DeviceHandle& h, void* buf, DWORD n, DWORD* got) override {
        *got = 0;
        if (DWORD e = Check(h)) return e;
        if (DWORD e = SerialPorts(m_).read_error(name_)) return e;
        if (n == 0) return 0;
        if (!buf) return ERROR_NOACCESS;
        COMMTIMEOUTS t = SerialPorts(m_).timeouts(name_);
        uint64_t start = m_.NowMs();
        const uint64_t kNever = UINT64_MAX;
        uint64_t total = kNever;
        uint64_t interval = 0;  // 0: none
        bool immediate = false;
        if (t.ReadIntervalTimeout == MAXDWORD && t.ReadTotalTimeoutMultiplier == 0 && t.ReadTotalTimeoutConstant == 0) {
            immediate = true;
        } else if (t.ReadIntervalTimeout == MAXDWORD && t.ReadTotalTimeoutMultiplier == MAXDWORD &&
                   t.ReadTotalTimeoutConstant > 0 && t.ReadTotalTimeoutConstant < MAXDWORD) {
            // Return as soon as anything is there.
            total = start + t.ReadTotalTimeoutConstant;
            interval = 1;  // stands for "after the first byte"
        } else {
            if (t.ReadTotalTimeoutMultiplier || t.ReadTotalTimeoutConstant)
                total = start + static_cast<uint64_t>(t.ReadTotalTimeoutMultiplier) * n + t.ReadTotalTimeoutConstant;
            if (t.ReadIntervalTimeout && t.ReadIntervalTimeout != MAXDWORD) interval = t.ReadIntervalTimeout;
        }
        bool first_only = interval == 1 && t.ReadIntervalTimeout == MAXDWORD;
        char* out = static_cast<char*>(buf);
        uint64_t last_byte = 0;
        for (;;) {
            uint64_t now = m_.NowMs();
            while (*got < n && !rx_.empty() && rx_.front().at <= now) {
                RxChunk& c = rx_.front();
                size_t k = std::min<size_t>(c.bytes.size(), n - *got);
                std::memcpy(out + *got, c.bytes.data(), k);
                *got += static_cast<DWORD>(k);
                last_byte = c.at;
                c.bytes.erase(0, k);
                if (c.bytes.empty()) rx_.pop_front();
            }
            if (*got == n || immediate) return 0;
            if (first_only && *got > 0) return 0;
            uint64_t deadline = total;
            if (interval && !first_only && *got > 0) deadline = std::min(deadline, last_byte + interval);
            if (now >= deadline) return 0;
            uint64_t wake = deadline;
            if (!rx_.empty()) wake = std::min(wake, rx_.front().at);
            DWORD ms = wake == kNever ? INFINITE : static_cast<DWORD>(std::min<uint64_t>(wake - now, 0xFFFFFFFEull));
            WaitOn({rx_event_}, false, ms);
            if (DWORD e = Check(h)) return e;
        }
    }

    void Purge(DWORD flags) {
        if (flags & PURGE_RXCLEAR) {
            uint64_t now = m_.NowMs();
            while (!rx_.empty() && rx_.front().at <= now) rx_.pop_front();
        }
        if (flags & (PURGE_RXABORT | PURGE_TXABORT)) rx_event_->Set();
    }

    bool test_holder_ = false;

private:
    Machine& m_;
    std::wstring name_;
    std::weak_ptr<DeviceHandle> opener_;
    std::weak_ptr<PortHandleState> opener_state_;
    DWORD opener_pid_ = 0;
    std::deque<RxChunk> rx_;
    std::string line_;
    std::shared_ptr<Event> rx_event_;
};

namespace {

constexpr int kMaxPort = 256;

std::shared_ptr<SerialPortModel> PortModel(Machine& m, const std::wstring& port) {
    return m.Device<SerialPortModel>(port);
}

// The port model behind a handle, or the error for the call.
SerialPortModel* PortOf(HANDLE h, std::shared_ptr<DeviceHandle>* dh, DWORD* err) {
    *dh = CurrentProcess().LookupAs<DeviceHandle>(h);
    if (!*dh) {
        *err = ERROR_INVALID_HANDLE;
        return nullptr;
    }
    auto* port = dynamic_cast<SerialPortModel*>((*dh)->model.get());
    if (!port) {
        *err = ERROR_INVALID_FUNCTION;
        return nullptr;
    }
    if (DWORD e = port->Check(**dh)) {
        *err = e;
        return nullptr;
    }
    return port;
}

}  // namespace

namespace serial {

void Init(Machine& m) {
    m.store().Exec(
        "CREATE TABLE IF NOT EXISTS modem_log (seq INTEGER PRIMARY KEY AUTOINCREMENT, time_ms INTEGER, "
        "port TEXT, line TEXT, reply TEXT)");
    for (int i = 1; i <= kMaxPort; ++i) {
        std::wstring name = L"COM" + std::to_wstring(i);
        m.RegisterDevice(name, std::make_shared<SerialPortModel>(m, name));
    }
    DeviceTree tree(m);
    Machine* mp = &m;
    // An open or held port keeps its device in.
    tree.AddInUseCheck([mp](DWORD dn) {
        DeviceTree t(*mp);
        std::wstring port = t.PortName(dn);
        if (port.empty()) return false;
        auto model = PortModel(*mp, port);
        if (!model) return false;
        return model->OpenOn(dn) || model->test_holder_ || SerialPorts(*mp).held(port);
    });
    // A reader blocked on a port that goes away returns at once.
    tree.AddListener([mp](const DeviceChange& c) {
        if (c.kind != DeviceChangeKind::Removal || c.port_name.empty()) return;
        if (auto model = PortModel(*mp, c.port_name); model && CurrentThreadOrNull()) model->Wake();
    });
}

void Reset(Machine& m) { m.store().ClearLog("modem_log"); }

DWORD PortOfHandle(HANDLE h, std::wstring* port) {
    std::shared_ptr<DeviceHandle> dh;
    DWORD err = 0;
    SerialPortModel* model = PortOf(h, &dh, &err);
    if (!model) return err;
    *port = model->name();
    return 0;
}

void SaveDcb(Machine& m, const std::wstring& port, const DCB& d) {
    m.store().SetText(Ns(port), "dcb", Hex(&d, sizeof d));
}

void SaveTimeouts(Machine& m, const std::wstring& port, const COMMTIMEOUTS& t) {
    m.store().SetText(Ns(port), "timeouts", Hex(&t, sizeof t));
}

void Purge(Machine& m, const std::wstring& port, DWORD flags) {
    Store& st = m.store();
    std::string ns = Ns(port);
    st.SetInt(ns, "purges", st.GetInt(ns, "purges", 0) + 1);
    st.SetInt(ns, "purge_flags", flags);
    if (auto model = PortModel(m, port)) model->Purge(flags);
}

}  // namespace serial

// ---------------------------------------------------------------------------------------
// SerialPorts: the port side

bool SerialPorts::IsOpen(const std::wstring& port) {
    auto model = PortModel(m_, port);
    return model && model->Open();
}

DWORD SerialPorts::OpenerPid(const std::wstring& port) {
    auto model = PortModel(m_, port);
    return model ? model->opener_pid() : 0;
}

std::unique_ptr<SerialPorts::Hold> SerialPorts::HoldAsOtherProcess(const std::wstring& port) {
    auto model = PortModel(m_, port);
    if (!model) throw std::invalid_argument("winsim serial: no port " + Utf8(port));
    ProcessOptions o;
    o.image = L"C:\\Program Files\\Other\\porthold.exe";
    auto p = m_.CreateProcess(o);
    model->test_holder_ = true;
    return std::unique_ptr<Hold>(new Hold(m_, port, p->pid));
}

SerialPorts::Hold::~Hold() {
    if (auto model = PortModel(m_, port_)) model->test_holder_ = false;
    if (auto p = m_.FindProcess(pid_)) m_.TerminateProcess(*p, 0);
}

bool SerialPorts::held(const std::wstring& port) { return m_.store().GetInt(Ns(port), "hold", 0) != 0; }
void SerialPorts::set_held(const std::wstring& port, bool on) {
    if (on)
        m_.store().SetInt(Ns(port), "hold", 1);
    else
        m_.store().DeleteSetting(Ns(port), "hold");
}

DCB SerialPorts::dcb(const std::wstring& port) {
    DCB d = DefaultDcb();
    if (auto t = m_.store().GetText(Ns(port), "dcb")) Unhex(*t, &d, sizeof d);
    return d;
}

COMMTIMEOUTS SerialPorts::timeouts(const std::wstring& port) {
    COMMTIMEOUTS t{};
    if (auto s = m_.store().GetText(Ns(port), "timeouts")) Unhex(*s, &t, sizeof t);
    return t;
}

DWORD SerialPorts::purge_count(const std::wstring& port) {
    return static_cast<DWORD>(m_.store().GetInt(Ns(port), "purges", 0));
}
DWORD SerialPorts::last_purge_flags(const std::wstring& port) {
    return static_cast<DWORD>(m_.store().GetInt(Ns(port), "purge_flags", 0));
}
void SerialPorts::set_open_error(const std::wstring& port, DWORD err) {
    m_.store().SetInt(Ns(port), "open_error", err);
}
DWORD SerialPorts::open_error(const std::wstring& port) {
    return static_cast<DWORD>(m_.store().GetInt(Ns(port), "open_error", 0));
}
void SerialPorts::set_write_error(const std::wstring& port, DWORD err) {
    m_.store().SetInt(Ns(port), "write_error", err);
}
void SerialPorts::set_read_error(const std::wstring& port, DWORD err) {
    m_.store().SetInt(Ns(port), "read_error", err);
}
DWORD SerialPorts::write_error(const std::wstring& port) {
    return static_cast<DWORD>(m_.store().GetInt(Ns(port), "write_error", 0));
}
DWORD SerialPorts::read_error(const std::wstring& port) {
    return static_cast<DWORD>(m_.store().GetInt(Ns(port), "read_error", 0));
}

void SerialPorts::Send(const std::wstring& port, const std::string& bytes, DWORD delay_ms) {
    if (auto model = PortModel(m_, port)) model->Queue({RxChunk{m_.NowMs() + delay_ms, bytes}});
}

}  // namespace winsim
