// winsim: the device tree over the machine's store, mirrored in the registry.
#include "winsim/devices.h"

#include <cfgmgr32.h>
#include <setupapi.h>

#include "devices_internal.h"
#include "winsim/registry.h"

#include <algorithm>
#include <cwctype>
#include <map>
#include <mutex>
#include <stdexcept>

namespace winsim {

namespace {

constexpr const wchar_t* kEnum = L"HKLM\\SYSTEM\\CurrentControlSet\\Enum\\";
constexpr const wchar_t* kClass = L"HKLM\\SYSTEM\\CurrentControlSet\\Control\\Class\\";
constexpr const wchar_t* kProfileEnum =
    L"HKLM\\SYSTEM\\CurrentControlSet\\Hardware Profiles\\Current\\System\\CurrentControlSet\\Enum\\";
constexpr const wchar_t* kSerialComm = L"HKLM\\HARDWARE\\DEVICEMAP\\SERIALCOMM";
constexpr const wchar_t* kDeviceClasses = L"HKLM\\SYSTEM\\CurrentControlSet\\Control\\DeviceClasses\\";
constexpr DWORD kConfigFlagDisabled = 0x1;
constexpr DWORD kCsConfigFlagDisabled = 0x1;
constexpr DWORD kDevCapRemovable = 0x4;

using Lock = std::lock_guard<std::recursive_mutex>;

// What lives only in this host process: listeners, open counts, in-use checks.
struct Runtime {
    explicit Runtime(Machine&) {}
    std::vector<DeviceTree::Listener> listeners;
    std::map<DWORD, int> opens;
    std::vector<std::function<bool(DWORD)>> in_use;
};
Runtime& Rt(Machine& m) { return m.Ext<Runtime>("devices.runtime"); }

const char* kColumns =
    "id, parent, instance_id, class_guid, attached, present, held, dis_global, dis_config, dis_run, pending, "
    "problem, restart, veto_type, veto_name, inst_error, disableable, removable, generation";

DeviceNode Row(Stmt& s) {
    DeviceNode n;
    n.devinst = static_cast<DWORD>(s.Int(0));
    n.parent = static_cast<DWORD>(s.Int(1));
    n.instance_id = Wide(s.Text(2));
    n.class_guid = Wide(s.Text(3));
    n.attached = s.Int(4) != 0;
    n.present = s.Int(5) != 0;
    n.held = s.Int(6) != 0;
    n.disabled_global = s.Int(7) != 0;
    n.disabled_config = s.Int(8) != 0;
    n.disabled = s.Int(9) != 0;
    n.change_pending = s.Int(10) != 0;
    n.problem = static_cast<DWORD>(s.Int(11));
    n.restart_flags = static_cast<DWORD>(s.Int(12));
    n.veto_type = static_cast<DWORD>(s.Int(13));
    n.veto_name = Wide(s.Text(14));
    n.installer_error = static_cast<DWORD>(s.Int(15));
    n.disableable = s.Int(16) != 0;
    n.removable = s.Int(17) != 0;
    n.generation = static_cast<uint64_t>(s.Int(18));
    return n;
}

bool Runs(const DeviceNode& n) { return n.present && !n.disabled && n.problem == 0; }

}  // namespace

// ---------------------------------------------------------------------------------------
// Internal operations: one batch of changes per public operation.

namespace devices {

class Ops {
public:
    explicit Ops(Machine& m) : m_(m), reg_(m) {}

    std::optional<DeviceNode> Load(DWORD id) {
        Store& st = m_.store();
        Lock g(st.mutex());
        Stmt s(st.db(), (std::string("SELECT ") + kColumns + " FROM devnodes WHERE id=?").c_str());
        s.Bind(1, static_cast<int64_t>(id));
        if (!s.Step()) return std::nullopt;
        return Row(s);
    }

    void Save(const DeviceNode& n) {
        Store& st = m_.store();
        Lock g(st.mutex());
        Stmt s(st.db(),
               "UPDATE devnodes SET attached=?, present=?, held=?, dis_global=?, dis_config=?, dis_run=?, "
               "pending=?, problem=?, restart=?, veto_type=?, veto_name=?, inst_error=?, disableable=?, "
               "removable=?, generation=? WHERE id=?");
        s.Bind(1, n.attached).Bind(2, n.present).Bind(3, n.held).Bind(4, n.disabled_global).Bind(5, n.disabled_config);
        s.Bind(6, n.disabled).Bind(7, n.change_pending).Bind(8, static_cast<int64_t>(n.problem));
        s.Bind(9, static_cast<int64_t>(n.restart_flags)).Bind(10, static_cast<int64_t>(n.veto_type));
        s.Bind(11, Utf8(n.veto_name)).Bind(12, static_cast<int64_t>(n.installer_error)).Bind(13, n.disableable);
        s.Bind(14, n.removable).Bind(15, static_cast<int64_t>(n.generation)).Bind(16, static_cast<int64_t>(n.devinst));
        s.Run();
    }

    std::vector<DWORD> ChildIds(DWORD id) {
        Store& st = m_.store();
        Lock g(st.mutex());
        Stmt s(st.db(), "SELECT id FROM devnodes WHERE parent=? AND id<>parent ORDER BY id");
        s.Bind(1, static_cast<int64_t>(id));
        std::vector<DWORD> v;
        while (s.Step()) v.push_back(static_cast<DWORD>(s.Int(0)));
        return v;
    }

    std::wstring EnumKey(const DeviceNode& n) { return kEnum + n.instance_id; }

    std::wstring PortName(const DeviceNode& n) {
        auto v = reg_.GetString(EnumKey(n) + L"\\Device Parameters", L"PortName");
        return v ? *v : std::wstring();
    }

    void Record(DeviceChangeKind kind, const DeviceNode& n) {
        DeviceChange c;
        c.time_ms = m_.NowMs();
        c.kind = kind;
        c.devinst = n.devinst;
        c.instance_id = n.instance_id;
        c.class_guid = n.class_guid;
        c.port_name = PortName(n);
        Store& st = m_.store();
        {
            Lock g(st.mutex());
            Stmt s(st.db(),
                   "INSERT INTO device_changes (time_ms, kind, devinst, instance_id, class_guid, port_name) "
                   "VALUES (?, ?, ?, ?, ?, ?)");
            s.Bind(1, static_cast<int64_t>(c.time_ms))
                .Bind(2, kind == DeviceChangeKind::Arrival ? "arrival" : "removal");
            s.Bind(3, static_cast<int64_t>(c.devinst)).Bind(4, Utf8(c.instance_id)).Bind(5, Utf8(c.class_guid));
            s.Bind(6, Utf8(c.port_name)).Run();
            c.seq = static_cast<uint64_t>(sqlite3_last_insert_rowid(st.db()));
        }
        if (!c.port_name.empty()) {
            std::wstring value = L"\\Device\\VQSerial" + std::to_wstring(n.devinst);
            if (kind == DeviceChangeKind::Arrival)
                reg_.SetString(kSerialComm, value, c.port_name);
            else
                reg_.DeleteValue(kSerialComm, value);
        }
        batch_.push_back(std::move(c));
    }

    bool ParentRuns(const DeviceNode& n) {
        if (n.devinst == DeviceTree::kRoot) return true;
        auto p = Load(n.parent);
        return p && Runs(*p);
    }

    // Brings n (when it may be present) and its eligible descendants in, top-down.
    void Activate(DWORD id) {
        auto n = Load(id);
        if (!n) return;
        if (!n->present) {
            if (!n->attached || n->held || !ParentRuns(*n)) return;
            n->present = true;
            ++n->generation;
            Save(*n);
            Record(DeviceChangeKind::Arrival, *n);
        }
        if (!Runs(*n)) return;
        for (DWORD c : ChildIds(id)) Activate(c);
    }

    // Takes n and its present descendants away, bottom-up.
    void Deactivate(DWORD id) {
        DeactivateChildren(id);
        auto n = Load(id);
        if (!n || !n->present || id == DeviceTree::kRoot) return;
        n->present = false;
        Save(*n);
        Record(DeviceChangeKind::Removal, *n);
    }

    void DeactivateChildren(DWORD id) {
        auto kids = ChildIds(id);
        for (auto it = kids.rbegin(); it != kids.rend(); ++it) Deactivate(*it);
    }

    // Sets the running state; the children follow.
    void SetRunning(DeviceNode n, bool disabled) {
        bool ran = Runs(n);
        n.disabled = disabled;
        Save(n);
        bool runs = Runs(n);
        if (ran && !runs) DeactivateChildren(n.devinst);
        if (!ran && runs) Activate(n.devinst);
    }

    void WriteConfigFlags(const DeviceNode& n) {
        std::wstring k = EnumKey(n);
        DWORD flags = reg_.GetDword(k, L"ConfigFlags").value_or(0);
        flags = n.disabled_global ? (flags | kConfigFlagDisabled) : (flags & ~kConfigFlagDisabled);
        reg_.SetDword(k, L"ConfigFlags", flags);
        std::wstring cs = kProfileEnum + n.instance_id;
        if (n.disabled_config)
            reg_.SetDword(cs, L"CSConfigFlags", kCsConfigFlagDisabled);
        else if (reg_.KeyExists(cs))
            reg_.SetDword(cs, L"CSConfigFlags", 0);
    }

    // Subtree in pre-order (n first).
    void Subtree(DWORD id, std::vector<DWORD>* out) {
        out->push_back(id);
        for (DWORD c : ChildIds(id)) Subtree(c, out);
    }

    // Runs fn in one transaction, then tells the listeners.
    template <class F>
    auto Run(F&& fn) {
        using R = decltype(fn());
        if constexpr (std::is_void_v<R>) {
            m_.store().Transaction([&] { fn(); });
            Flush();
        } else {
            R r{};
            m_.store().Transaction([&] { r = fn(); });
            Flush();
            return r;
        }
    }

    Registry& reg() { return reg_; }

private:
    void Flush() {
        auto batch = std::move(batch_);
        batch_.clear();
        if (batch.empty()) return;
        auto listeners = Rt(m_).listeners;
        for (auto& c : batch)
            for (auto& l : listeners) l(c);
    }

    Machine& m_;
    Registry reg_;
    std::vector<DeviceChange> batch_;
};

void CreateSchema(Machine& m) {
    m.store().Exec(
        "CREATE TABLE IF NOT EXISTS devnodes (id INTEGER PRIMARY KEY, parent INTEGER NOT NULL, "
        "instance_id TEXT NOT NULL UNIQUE COLLATE NOCASE, class_guid TEXT NOT NULL DEFAULT '', "
        "attached INTEGER NOT NULL DEFAULT 1, present INTEGER NOT NULL DEFAULT 0, held INTEGER NOT NULL DEFAULT 0, "
        "dis_global INTEGER NOT NULL DEFAULT 0, dis_config INTEGER NOT NULL DEFAULT 0, dis_run INTEGER NOT NULL "
        "DEFAULT 0, pending INTEGER NOT NULL DEFAULT 0, problem INTEGER NOT NULL DEFAULT 0, restart INTEGER NOT NULL "
        "DEFAULT 0, veto_type INTEGER NOT NULL DEFAULT 0, veto_name TEXT NOT NULL DEFAULT '', inst_error INTEGER NOT "
        "NULL DEFAULT 0, disableable INTEGER NOT NULL DEFAULT 1, removable INTEGER NOT NULL DEFAULT 0, generation "
        "INTEGER NOT NULL DEFAULT 0)");
    m.store().Exec(
        "CREATE TABLE IF NOT EXISTS device_changes (seq INTEGER PRIMARY KEY AUTOINCREMENT, time_ms INTEGER, "
        "kind TEXT, devinst INTEGER, instance_id TEXT, class_guid TEXT, port_name TEXT)");
    m.store().Exec(
        "CREATE TABLE IF NOT EXISTS devinterfaces (devinst INTEGER NOT NULL, class_guid TEXT NOT NULL COLLATE NOCASE, "
        "path TEXT NOT NULL, PRIMARY KEY (devinst, class_guid))");
    InitBatteries(m);
}

std::wstring InterfacePath(const std::wstring& instance_id, const std::wstring& class_guid) {
    std::wstring id = Lower(instance_id);
    for (auto& c : id)
        if (c == L'\\') c = L'#';
    return L"\\\\?\\" + id + L"#" + Lower(class_guid);
}

// The registry key of an interface below DeviceClasses\<GUID>: the path with "##?#" for
// its "\\?\" prefix.
std::wstring InterfaceKey(const std::wstring& class_guid, const std::wstring& path) {
    return kDeviceClasses + Lower(class_guid) + L"\\##?#" + path.substr(4);
}

void EnsureRoot(Machine& m) {
    Store& st = m.store();
    {
        Lock g(st.mutex());
        Stmt s(st.db(),
               "INSERT OR IGNORE INTO devnodes (id, parent, instance_id, attached, present, disableable, "
               "generation) VALUES (1, 0, ?, 1, 1, 0, 1)");
        s.Bind(1, Utf8(DeviceTree::kRootId)).Run();
    }
    Registry r(m);
    std::wstring k = std::wstring(kEnum) + DeviceTree::kRootId;
    if (!r.KeyExists(k)) {
        r.SetString(k, L"DeviceDesc", L"Plug and Play root");
        r.SetDword(k, L"ConfigFlags", 0);
    }
}

void Erase(Machine& m) {
    m.store().Exec("DELETE FROM devinterfaces");
    EraseBatteries(m);
    m.store().Exec("DELETE FROM devnodes");
    m.store().Exec("DELETE FROM device_changes");
    Rt(m).opens.clear();
}

}  // namespace devices

// ---------------------------------------------------------------------------------------
// DeviceTree

using devices::Ops;

DWORD DeviceTree::Add(const DeviceSpec& desc) {
    if (desc.instance_id.empty()) throw std::invalid_argument("winsim devices: empty instance ID");
    if (Find(desc.instance_id)) throw std::invalid_argument("winsim devices: duplicate " + Utf8(desc.instance_id));
    DWORD parent = desc.parent ? desc.parent : kRoot;
    Ops ops(m_);
    if (!ops.Load(parent)) throw std::invalid_argument("winsim devices: unknown parent node");
    return ops.Run([&]() -> DWORD {
        Store& st = m_.store();
        DWORD id;
        {
            Lock g(st.mutex());
            Stmt s(st.db(),
                   "INSERT INTO devnodes (parent, instance_id, class_guid, attached, present, disableable, "
                   "removable) VALUES (?, ?, ?, ?, 0, ?, ?)");
            s.Bind(1, static_cast<int64_t>(parent)).Bind(2, Utf8(desc.instance_id)).Bind(3, Utf8(desc.class_guid));
            s.Bind(4, desc.attached).Bind(5, desc.disableable).Bind(6, desc.removable).Run();
            id = static_cast<DWORD>(sqlite3_last_insert_rowid(st.db()));
        }
        Registry& r = ops.reg();
        std::wstring k = kEnum + desc.instance_id;
        r.CreateKey(k);
        if (desc.hardware_ids) r.SetMultiString(k, L"HardwareID", *desc.hardware_ids);
        if (!desc.compatible_ids.empty()) r.SetMultiString(k, L"CompatibleIDs", desc.compatible_ids);
        if (desc.description) r.SetString(k, L"DeviceDesc", *desc.description);
        if (desc.friendly_name) r.SetString(k, L"FriendlyName", *desc.friendly_name);
        if (desc.manufacturer) r.SetString(k, L"Mfg", *desc.manufacturer);
        if (desc.location) r.SetString(k, L"LocationInformation", *desc.location);
        if (!desc.class_name.empty()) r.SetString(k, L"Class", desc.class_name);
        if (!desc.class_guid.empty()) r.SetString(k, L"ClassGUID", desc.class_guid);
        if (!desc.service.empty()) r.SetString(k, L"Service", desc.service);
        r.SetDword(k, L"ConfigFlags", 0);
        r.SetDword(k, L"Capabilities", desc.removable ? kDevCapRemovable : 0);
        r.CreateKey(k + L"\\Device Parameters");
        for (auto& [name, value] : desc.parameters) r.SetString(k + L"\\Device Parameters", name, value);
        if (desc.driver_key && !desc.class_guid.empty()) {
            std::wstring ck = kClass + desc.class_guid;
            if (!r.KeyExists(ck) && !desc.class_name.empty()) {
                r.SetString(ck, L"", desc.class_name);
                r.SetString(ck, L"Class", desc.class_name);
            }
            int next = 0;
            for (auto& sub : r.ListKeys(ck)) {
                if (sub.size() == 4 &&
                    std::all_of(sub.begin(), sub.end(), [](wchar_t c) { return c >= L'0' && c <= L'9'; }))
                    next = std::max(next, std::stoi(sub) + 1);
            }
            wchar_t nnnn[8];
            swprintf(nnnn, 8, L"%04d", next);
            std::wstring dk = ck + L"\\" + nnnn;
            r.CreateKey(dk);
            if (desc.description) r.SetString(dk, L"DriverDesc", *desc.description);
            if (desc.manufacturer) r.SetString(dk, L"ProviderName", *desc.manufacturer);
            if (desc.hardware_ids && !desc.hardware_ids->empty())
                r.SetString(dk, L"MatchingDeviceId", Lower(desc.hardware_ids->front()));
            for (auto& [name, value] : desc.driver_values) r.SetString(dk, name, value);
            r.SetString(k, L"Driver", desc.class_guid + L"\\" + nnnn);
        }
        for (auto& cls : desc.interfaces) {
            std::wstring path = devices::InterfacePath(desc.instance_id, cls);
            {
                Lock g(st.mutex());
                Stmt s(st.db(), "INSERT OR IGNORE INTO devinterfaces (devinst, class_guid, path) VALUES (?, ?, ?)");
                s.Bind(1, static_cast<int64_t>(id)).Bind(2, Utf8(Lower(cls))).Bind(3, Utf8(path)).Run();
            }
            std::wstring ik = devices::InterfaceKey(cls, path);
            r.SetString(ik, L"DeviceInstance", desc.instance_id);
            r.SetString(ik + L"\\#", L"SymbolicLink", path);
        }
        ops.Activate(id);
        return id;
    });
}

void DeviceTree::Uninstall(DWORD devinst) {
    if (devinst == kRoot) throw std::invalid_argument("winsim devices: the root cannot be uninstalled");
    Ops ops(m_);
    auto n = ops.Load(devinst);
    if (!n) return;
    ops.Run([&] {
        ops.Deactivate(devinst);
        std::vector<DWORD> sub;
        ops.Subtree(devinst, &sub);
        Registry& r = ops.reg();
        for (auto it = sub.rbegin(); it != sub.rend(); ++it) {
            auto node = ops.Load(*it);
            if (!node) continue;
            std::wstring k = ops.EnumKey(*node);
            if (auto drv = r.GetString(k, L"Driver"); drv && !drv->empty()) r.DeleteKey(kClass + *drv);
            r.DeleteKey(k);
            r.DeleteKey(kProfileEnum + node->instance_id);
            for (auto& i : Interfaces(L""))
                if (i.devinst == *it) r.DeleteKey(devices::InterfaceKey(i.class_guid, i.path));
            devices::ForgetBattery(m_, *it);
            // The device ID key goes with its last instance.
            std::wstring dev_key = k.substr(0, k.find_last_of(L'\\'));
            if (r.KeyExists(dev_key) && r.ListKeys(dev_key).empty() && r.ListValues(dev_key).empty())
                r.DeleteKey(dev_key);
            Store& st = m_.store();
            Lock g(st.mutex());
            Stmt s(st.db(), "DELETE FROM devnodes WHERE id=?");
            s.Bind(1, static_cast<int64_t>(*it)).Run();
            Stmt si(st.db(), "DELETE FROM devinterfaces WHERE devinst=?");
            si.Bind(1, static_cast<int64_t>(*it)).Run();
        }
    });
}

DWORD DeviceTree::Find(const std::wstring& instance_id) const {
    Store& st = m_.store();
    Lock g(st.mutex());
    Stmt s(st.db(), "SELECT id FROM devnodes WHERE instance_id=?");
    s.Bind(1, Utf8(instance_id));
    return s.Step() ? static_cast<DWORD>(s.Int(0)) : 0;
}

std::optional<DeviceNode> DeviceTree::Get(DWORD devinst) const { return Ops(m_).Load(devinst); }

std::vector<DeviceNode> DeviceTree::List() const {
    Store& st = m_.store();
    Lock g(st.mutex());
    Stmt s(st.db(), (std::string("SELECT ") + kColumns + " FROM devnodes ORDER BY id").c_str());
    std::vector<DeviceNode> v;
    while (s.Step()) v.push_back(Row(s));
    return v;
}

std::vector<DWORD> DeviceTree::Children(DWORD devinst, bool present_only) const {
    Ops ops(m_);
    std::vector<DWORD> v;
    for (DWORD c : ops.ChildIds(devinst)) {
        if (present_only) {
            auto n = ops.Load(c);
            if (!n || !n->present) continue;
        }
        v.push_back(c);
    }
    return v;
}

std::vector<DWORD> DeviceTree::FindByHardwareId(const std::wstring& id) const {
    Registry r(m_);
    std::vector<DWORD> v;
    for (auto& n : List()) {
        auto ids = r.GetMultiString(kEnum + n.instance_id, L"HardwareID");
        if (!ids) continue;
        for (auto& h : *ids)
            if (IEquals(h, id)) {
                v.push_back(n.devinst);
                break;
            }
    }
    return v;
}

std::vector<DeviceInterface> DeviceTree::Interfaces(const std::wstring& class_guid) const {
    Store& st = m_.store();
    Lock g(st.mutex());
    Stmt s(st.db(),
           "SELECT i.devinst, i.class_guid, i.path, n.present FROM devinterfaces i JOIN devnodes n ON "
           "n.id = i.devinst WHERE ?1 = '' OR i.class_guid = ?1 ORDER BY i.devinst, i.rowid");
    s.Bind(1, Utf8(class_guid));
    std::vector<DeviceInterface> v;
    while (s.Step()) {
        DeviceInterface i;
        i.devinst = static_cast<DWORD>(s.Int(0));
        i.class_guid = Wide(s.Text(1));
        i.path = Wide(s.Text(2));
        i.active = s.Int(3) != 0;
        v.push_back(std::move(i));
    }
    return v;
}

bool DeviceTree::IsPresent(DWORD devinst) const {
    auto n = Get(devinst);
    return n && n->present;
}

bool DeviceTree::Status(DWORD devinst, DWORD* status, DWORD* problem) const {
    auto n = Get(devinst);
    if (!n || !n->present) return false;
    DWORD st = DN_NT_ENUMERATOR | DN_NT_DRIVER;
    DWORD pr = 0;
    if (n->devinst == kRoot || StartsWithI(n->instance_id, L"ROOT\\")) st |= DN_ROOT_ENUMERATED;
    if (n->disableable) st |= DN_DISABLEABLE;
    if (n->removable) st |= DN_REMOVABLE;
    if (n->disabled) {
        st |= DN_HAS_PROBLEM;
        pr = CM_PROB_DISABLED;
    } else if (n->problem) {
        st |= DN_HAS_PROBLEM;
        pr = n->problem;
    } else {
        st |= DN_DRIVER_LOADED | DN_STARTED;
    }
    if (status) *status = st;
    if (problem) *problem = pr;
    return true;
}

std::wstring DeviceTree::EnumKey(DWORD devinst) const {
    auto n = Get(devinst);
    return n ? kEnum + n->instance_id : std::wstring();
}

std::wstring DeviceTree::ParametersKey(DWORD devinst) const {
    std::wstring k = EnumKey(devinst);
    return k.empty() ? k : k + L"\\Device Parameters";
}

std::wstring DeviceTree::DriverKey(DWORD devinst) const {
    auto n = Get(devinst);
    if (!n) return std::wstring();
    auto d = Registry(m_).GetString(kEnum + n->instance_id, L"Driver");
    return d && !d->empty() ? kClass + *d : std::wstring();
}

std::wstring DeviceTree::PortName(DWORD devinst) const {
    auto n = Get(devinst);
    return n ? Ops(m_).PortName(*n) : std::wstring();
}

DWORD DeviceTree::FindPort(const std::wstring& name) const {
    Ops ops(m_);
    for (auto& n : List())
        if (n.present && n.devinst != kRoot && IEquals(ops.PortName(n), name)) return n.devinst;
    return 0;
}

void DeviceTree::Unplug(DWORD devinst) {
    Ops ops(m_);
    auto n = ops.Load(devinst);
    if (!n || devinst == kRoot) return;
    ops.Run([&] {
        n->attached = false;
        ops.Save(*n);
        ops.Deactivate(devinst);
    });
}

void DeviceTree::Plug(DWORD devinst) {
    Ops ops(m_);
    auto n = ops.Load(devinst);
    if (!n) return;
    ops.Run([&] {
        n->attached = true;
        ops.Save(*n);
        ops.Activate(devinst);
    });
}

DWORD DeviceTree::RemoveSubtree(DWORD devinst, DWORD* veto_type, std::wstring* veto_name) {
    Ops ops(m_);
    auto n = ops.Load(devinst);
    if (!n) return CR_INVALID_DEVNODE;
    if (!n->present) return CR_NO_SUCH_DEVNODE;
    auto veto = [&](DWORD type, const std::wstring& name) -> DWORD {
        if (veto_type) *veto_type = type;
        if (veto_name) *veto_name = name;
        return CR_REMOVE_VETOED;
    };
    if (devinst == kRoot) return veto(PNP_VetoIllegalDeviceRequest, n->instance_id);
    std::vector<DWORD> sub;
    ops.Subtree(devinst, &sub);
    for (DWORD id : sub) {
        auto node = ops.Load(id);
        if (!node || !node->present) continue;
        if (node->veto_type)
            return veto(node->veto_type, node->veto_name.empty() ? node->instance_id : node->veto_name);
        if (InUse(id)) return veto(PNP_VetoOutstandingOpen, node->instance_id);
    }
    return ops.Run([&]() -> DWORD {
        ops.Deactivate(devinst);
        auto top = ops.Load(devinst);
        top->held = true;
        ops.Save(*top);
        return CR_SUCCESS;
    });
}

DWORD DeviceTree::ResetHold(DWORD devinst) {
    Ops ops(m_);
    auto n = ops.Load(devinst);
    if (!n) return CR_INVALID_DEVNODE;
    if (n->held) {
        n->held = false;
        ops.Save(*n);
    }
    return CR_SUCCESS;
}

DWORD DeviceTree::Reenumerate(DWORD devinst) {
    Ops ops(m_);
    auto n = ops.Load(devinst);
    if (!n) return CR_INVALID_DEVNODE;
    if (!n->present) return CR_NO_SUCH_DEVNODE;
    ops.Run([&] { ops.Activate(devinst); });
    return CR_SUCCESS;
}

DWORD DeviceTree::ChangeState(DWORD devinst, DWORD state, DWORD scope, DWORD* install_flags) {
    if (install_flags) *install_flags = 0;
    Ops ops(m_);
    auto n = ops.Load(devinst);
    if (!n || !n->present || devinst == kRoot) return ERROR_NO_SUCH_DEVINST;
    if (n->installer_error) return n->installer_error;
    bool global = scope == DICS_FLAG_GLOBAL;
    bool config = scope == DICS_FLAG_CONFIGSPECIFIC || scope == DICS_FLAG_CONFIGGENERAL;
    switch (state) {
    case DICS_ENABLE:
        if (!global && !config) return ERROR_INVALID_FLAGS;
        (global ? n->disabled_global : n->disabled_config) = false;
        break;
    case DICS_DISABLE:
        if (!global && !config) return ERROR_INVALID_FLAGS;
        if (!n->disableable) return ERROR_NOT_DISABLEABLE;
        (global ? n->disabled_global : n->disabled_config) = true;
        break;
    case DICS_START:
    case DICS_STOP:
        if (scope != DICS_FLAG_CONFIGSPECIFIC) return ERROR_INVALID_FLAGS;
        if (state == DICS_STOP && !n->disableable) return ERROR_NOT_DISABLEABLE;
        n->disabled_config = state == DICS_STOP;
        break;
    case DICS_PROPCHANGE: break;
    default: return ERROR_INVALID_PARAMETER;
    }
    ops.Run([&] {
        ops.WriteConfigFlags(*n);
        bool want = n->disabled_global || n->disabled_config;
        bool changes = want != n->disabled;
        if (n->restart_flags && (changes || state == DICS_PROPCHANGE)) {
            // The device cannot be stopped now: the change waits for the restart.
            n->change_pending = changes;
            ops.Save(*n);
            if (install_flags) *install_flags = n->restart_flags;
        } else {
            n->change_pending = false;
            ops.SetRunning(*n, want);
        }
    });
    return ERROR_SUCCESS;
}

void DeviceTree::SetVeto(DWORD devinst, DWORD veto_type, const std::wstring& name) {
    Ops ops(m_);
    if (auto n = ops.Load(devinst)) {
        n->veto_type = veto_type;
        n->veto_name = veto_type ? name : std::wstring();
        ops.Save(*n);
    }
}

void DeviceTree::SetRestartNeeded(DWORD devinst, DWORD flags) {
    Ops ops(m_);
    if (auto n = ops.Load(devinst)) {
        n->restart_flags = flags;
        ops.Save(*n);
    }
}

void DeviceTree::SetProblem(DWORD devinst, DWORD problem) {
    Ops ops(m_);
    auto n = ops.Load(devinst);
    if (!n || devinst == kRoot) return;
    ops.Run([&] {
        bool ran = Runs(*n);
        n->problem = problem;
        ops.Save(*n);
        bool runs = Runs(*n);
        if (ran && !runs) ops.DeactivateChildren(devinst);
        if (!ran && runs) ops.Activate(devinst);
    });
}

void DeviceTree::SetInstallerError(DWORD devinst, DWORD error) {
    Ops ops(m_);
    if (auto n = ops.Load(devinst)) {
        n->installer_error = error;
        ops.Save(*n);
    }
}

void DeviceTree::Restart() {
    Ops ops(m_);
    ops.Run([&] {
        for (auto& n : List()) {
            if (n.devinst == kRoot) continue;
            auto cur = ops.Load(n.devinst);
            if (!cur) continue;
            cur->held = false;
            if (cur->change_pending) {
                cur->change_pending = false;
                ops.SetRunning(*cur, cur->disabled_global || cur->disabled_config);
            } else {
                ops.Save(*cur);
            }
        }
        ops.Activate(kRoot);
    });
}

std::vector<DeviceChange> DeviceTree::Changes() const {
    Store& st = m_.store();
    Lock g(st.mutex());
    Stmt s(st.db(),
           "SELECT seq, time_ms, kind, devinst, instance_id, class_guid, port_name FROM device_changes "
           "ORDER BY seq");
    std::vector<DeviceChange> v;
    while (s.Step()) {
        DeviceChange c;
        c.seq = static_cast<uint64_t>(s.Int(0));
        c.time_ms = static_cast<uint64_t>(s.Int(1));
        c.kind = s.Text(2) == "arrival" ? DeviceChangeKind::Arrival : DeviceChangeKind::Removal;
        c.devinst = static_cast<DWORD>(s.Int(3));
        c.instance_id = Wide(s.Text(4));
        c.class_guid = Wide(s.Text(5));
        c.port_name = Wide(s.Text(6));
        v.push_back(std::move(c));
    }
    return v;
}

void DeviceTree::ClearChanges() { m_.store().Exec("DELETE FROM device_changes"); }

void DeviceTree::AddListener(Listener l) { Rt(m_).listeners.push_back(std::move(l)); }

void DeviceTree::AddOpen(DWORD devinst, int delta) {
    auto& opens = Rt(m_).opens;
    int& v = opens[devinst];
    v += delta;
    if (v <= 0) opens.erase(devinst);
}

void DeviceTree::AddInUseCheck(std::function<bool(DWORD)> check) { Rt(m_).in_use.push_back(std::move(check)); }

bool DeviceTree::InUse(DWORD devinst) const {
    auto& rt = Rt(m_);
    if (rt.opens.count(devinst)) return true;
    for (auto& c : rt.in_use)
        if (c(devinst)) return true;
    return false;
}

}  // namespace winsim
