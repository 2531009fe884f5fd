#include "sim_events.h"

#include <cstdio>
#include <cstdlib>
#include <sstream>

namespace sim {

namespace {

struct KindInfo {
    Kind kind;
    const char* name;
    int args;  // a, b, c in order (Set: NAME VALUE)
};

const KindInfo kKinds[] = {
    {Kind::Set, "set", 2},
    {Kind::StopFlags, "stopflags", 1},
    {Kind::RfResume, "rfresume", 1},
    {Kind::Plst, "plst", 1},
    {Kind::Install, "install", 0},
    {Kind::SvcStart, "svcstart", 0},
    {Kind::SvcStop, "svcstop", 0},
    {Kind::Logon, "logon", 1},
    {Kind::LogonNoGui, "logonnogui", 1},
    {Kind::Logoff, "logoff", 1},
    {Kind::Lock, "lock", 1},
    {Kind::Unlock, "unlock", 1},
    {Kind::Connect, "connect", 1},
    {Kind::SwitchBack, "switchback", 0},
    {Kind::Disconnect, "disconnect", 1},
    {Kind::GuiStart, "guistart", 1},
    {Kind::GuiExit, "guiexit", 1},
    {Kind::Rotate, "rotate", 1},
    {Kind::Suspend, "suspend", 2},
    {Kind::FailQuery, "failquery", 0},
    {Kind::Unplug, "unplug", 0},
    {Kind::Plug, "plug", 0},
    {Kind::Switch, "switch", 1},
    {Kind::Radio, "radio", 1},
    {Kind::HciError, "hcierror", 3},
    {Kind::HciRefuse, "hcirefuse", 2},
    {Kind::ComHold, "comhold", 1},
};

const KindInfo& Info(Kind k) {
    for (auto& i : kKinds)
        if (i.kind == k) return i;
    return kKinds[0];
}

// splitmix64: the same sequence from a seed on every platform and library.
class Rng {
public:
    explicit Rng(uint64_t seed) : s_(seed) {}
    uint64_t Next() {
        uint64_t z = (s_ += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    int64_t Range(int64_t lo, int64_t hi) {
        return lo + static_cast<int64_t>(Next() % static_cast<uint64_t>(hi - lo + 1));
    }
    bool Chance(int percent) { return Range(0, 99) < percent; }

private:
    uint64_t s_;
};

struct Setting {
    const char* name;
    int64_t lo, hi;
};

// The ranges an installation might write. The timers are in ms.
const Setting kSettings[] = {
    {"StartTime", 500, 3000},
    {"PollingInterval", 250, 1000},
    {"PollingMaxTime", 1000, 8000},
    {"ResumePollingInterval", 500, 2000},
    {"ResumePollingMaxTime", 1000, 8000},
    {"ResumeRecoveryWaitTime", 1000, 5000},
    {"WaitTimeRemoveComplete", 1000, 20000},
    {"BlockTimeShortTimeSuspend", 0, 8000},
    {"AllowEjectFromResume", 0, 8000},
    {"SvcAtcmdPollingTime", 2000, 10000},
    {"SvcAtReadWaitTime", 100, 500},
    {"SvcAtCmdCount", 1, 3},
    {"SvcATCmdResumeWait", 500, 3000},
};

// Switches: the percentage of seeds (and of later changes) that turn them on.
const Setting kSwitches[] = {
    {"EnableRFRefresh", 50, 0}, {"DisableWatchPanel", 30, 0}, {"DisableSAR", 5, 0},
    {"DisabledRFCtrl", 5, 0},   {"SieWAMode", 5, 0},
};

Event Ev(uint32_t delay, Kind k, int64_t a = 0, int64_t b = 0, int64_t c = 0) {
    Event e;
    e.delay_ms = delay;
    e.kind = k;
    e.a = a;
    e.b = b;
    e.c = c;
    return e;
}

Event SetEv(uint32_t delay, const char* name, int64_t value) {
    Event e = Ev(delay, Kind::Set, value);
    e.name = name;
    return e;
}

Event RandomSetting(Rng& r, uint32_t delay) {
    size_t n = sizeof kSettings / sizeof kSettings[0], k = sizeof kSwitches / sizeof kSwitches[0];
    size_t i = static_cast<size_t>(r.Range(0, static_cast<int64_t>(n + k - 1)));
    if (i < n) return SetEv(delay, kSettings[i].name, r.Range(kSettings[i].lo, kSettings[i].hi));
    const Setting& s = kSwitches[i - n];
    return SetEv(delay, s.name, r.Chance(static_cast<int>(s.lo)) ? 1 : 0);
}

uint32_t Delay(Rng& r) {
    int64_t p = r.Range(0, 99);
    if (p < 50) return static_cast<uint32_t>(r.Range(0, 2000));
    if (p < 85) return static_cast<uint32_t>(r.Range(2000, 20000));
    return static_cast<uint32_t>(r.Range(20000, 90000));
}

// Selectors of the HCI register: RF, the status word, the RF-stop posture.
const int64_t kSelectors[] = {0x2000, 1, 3};

}  // namespace

std::vector<Event> Generate(uint64_t seed) {
    Rng r(seed);
    std::vector<Event> v;
    for (auto& s : kSettings) v.push_back(SetEv(0, s.name, r.Range(s.lo, s.hi)));
    for (auto& s : kSwitches) v.push_back(SetEv(0, s.name, r.Chance(static_cast<int>(s.lo)) ? 1 : 0));
    if (r.Chance(50)) v.push_back(SetEv(0, "GobiConnectON", 1));
    // Now and then the driver names no RF-stop posture.
    const int64_t flags[] = {0x2000, 0x1000, 0x8000, 0x4000, 0};
    v.push_back(Ev(0, Kind::StopFlags, flags[r.Chance(10) ? 4 : r.Range(0, 3)]));
    v.push_back(Ev(0, Kind::RfResume, r.Range(-1, 1)));
    v.push_back(Ev(0, Kind::Install));
    v.push_back(Ev(0, Kind::SvcStart));
    v.push_back(Ev(0, Kind::Logon, 1));

    struct Weighted {
        Kind kind;
        int weight;
    };
    const Weighted kinds[] = {
        {Kind::Rotate, 34},  {Kind::Suspend, 6},  {Kind::FailQuery, 1}, {Kind::Logon, 4},   {Kind::LogonNoGui, 3},
        {Kind::Logoff, 3},   {Kind::Lock, 1},     {Kind::Unlock, 1},    {Kind::Connect, 3}, {Kind::Disconnect, 1},
        {Kind::GuiStart, 3}, {Kind::GuiExit, 1},  {Kind::Unplug, 1},    {Kind::Plug, 3},    {Kind::Switch, 2},
        {Kind::Radio, 3},    {Kind::HciError, 2}, {Kind::HciRefuse, 2}, {Kind::ComHold, 2}, {Kind::SvcStop, 1},
        {Kind::SvcStart, 3}, {Kind::Set, 3},      {Kind::Plst, 2},
    };
    int total = 0;
    for (auto& k : kinds) total += k.weight;
    // Session 1 is the first user's; sessions 2 and 3 come and go.
    auto pick_session = [&r]() -> int64_t { return r.Chance(60) ? 1 : r.Chance(60) ? 2 : 3; };
    int64_t count = r.Range(30, 80);
    for (int64_t i = 0; i < count; ++i) {
        int64_t pick = r.Range(0, total - 1);
        Kind kind = Kind::Rotate;
        for (auto& k : kinds) {
            if (pick < k.weight) {
                kind = k.kind;
                break;
            }
            pick -= k.weight;
        }
        uint32_t d = Delay(r);
        int64_t session = pick_session();
        switch (kind) {
        case Kind::Rotate:
            v.push_back(Ev(d, kind, r.Range(0, 3)));
            // Now and then the console moves while the rotation's decision is on its way.
            if (r.Chance(10)) v.push_back(Ev(static_cast<uint32_t>(r.Range(0, 1000)), Kind::Connect, pick_session()));
            break;
        case Kind::Suspend: {
            int64_t ms = r.Chance(30) ? r.Range(0, 3000) : r.Range(3000, 120000);
            v.push_back(Ev(d, kind, ms, r.Range(0, 3)));
            break;
        }
        case Kind::Logon:
        case Kind::LogonNoGui:
            v.push_back(Ev(d, kind, session));
            // Often the new user's session takes the console at once (fast user switching),
            // and now and then the console is switched back later.
            if (r.Chance(50)) {
                v.push_back(Ev(static_cast<uint32_t>(r.Range(0, 3000)), Kind::Connect, session));
                if (r.Chance(40)) v.push_back(Ev(Delay(r), Kind::SwitchBack));
            }
            break;
        case Kind::GuiExit:
            v.push_back(Ev(d, kind, session));
            // A GUI started again later in the session that had one.
            if (r.Chance(50)) v.push_back(Ev(Delay(r), Kind::GuiStart, session));
            break;
        case Kind::Logoff:
        case Kind::Lock:
        case Kind::Unlock:
        case Kind::Connect:
        case Kind::Disconnect:
        case Kind::GuiStart: v.push_back(Ev(d, kind, session)); break;
        case Kind::Switch: v.push_back(Ev(d, kind, r.Range(0, 1))); break;
        case Kind::Plst: {
            // Mostly the tablet posture again; else no posture, or one that never stops RF.
            const int64_t values[] = {1, 1, 1, 3, 3, 0, 2, 5};
            v.push_back(Ev(d, kind, values[r.Range(0, 7)]));
            break;
        }
        case Kind::Radio: v.push_back(Ev(d, kind, r.Range(0, 2))); break;
        case Kind::HciError:
            v.push_back(Ev(d, kind, kSelectors[r.Range(0, 2)], r.Chance(50) ? 0x8000 : 0x0100, r.Range(500, 30000)));
            break;
        case Kind::HciRefuse: v.push_back(Ev(d, kind, kSelectors[r.Range(0, 2)], r.Range(500, 30000))); break;
        case Kind::ComHold: v.push_back(Ev(d, kind, r.Range(1000, 60000))); break;
        case Kind::Set: v.push_back(RandomSetting(r, d)); break;
        default: v.push_back(Ev(d, kind)); break;
        }
    }
    return v;
}

std::string Format(const Event& e) {
    const KindInfo& k = Info(e.kind);
    std::ostringstream o;
    o << '+' << e.delay_ms << ' ' << k.name;
    if (e.kind == Kind::Set) {
        o << ' ' << e.name << ' ' << e.a;
        return o.str();
    }
    const int64_t args[] = {e.a, e.b, e.c};
    for (int i = 0; i < k.args; ++i) {
        if ((e.kind == Kind::StopFlags || ((e.kind == Kind::HciError || e.kind == Kind::HciRefuse) && i == 0)) ||
            (e.kind == Kind::HciError && i == 1)) {
            char b[24];
            std::snprintf(b, sizeof b, " 0x%llX", static_cast<unsigned long long>(args[i]));
            o << b;
        } else {
            o << ' ' << args[i];
        }
    }
    return o.str();
}

std::string FormatList(const std::vector<Event>& events) {
    std::string s;
    for (auto& e : events) s += Format(e) + "\n";
    return s;
}

bool ParseList(const std::string& text, std::vector<Event>* events, std::string* error) {
    std::istringstream in(text);
    std::string line;
    int n = 0;
    events->clear();
    while (std::getline(in, line)) {
        ++n;
        size_t hash = line.find('#');
        if (hash != std::string::npos) line.resize(hash);
        std::istringstream w(line);
        std::string delay, name;
        if (!(w >> delay)) continue;
        auto fail = [&](const std::string& why) {
            *error = "line " + std::to_string(n) + ": " + why;
            return false;
        };
        if (delay.size() < 2 || delay[0] != '+') return fail("an event starts with +DELAY");
        char* end = nullptr;
        unsigned long long d = std::strtoull(delay.c_str() + 1, &end, 10);
        if (*end || d > 0xFFFFFFFFull) return fail("bad delay '" + delay + "'");
        if (!(w >> name)) return fail("missing event kind");
        const KindInfo* info = nullptr;
        for (auto& k : kKinds)
            if (name == k.name) info = &k;
        if (!info) return fail("unknown event kind '" + name + "'");
        Event e;
        e.delay_ms = static_cast<uint32_t>(d);
        e.kind = info->kind;
        int first = 0;
        if (e.kind == Kind::Set) {
            if (!(w >> e.name)) return fail("set NAME VALUE");
            first = 1;
        }
        int64_t* fields[] = {&e.a, &e.b, &e.c};
        for (int i = first; i < info->args; ++i) {
            std::string v;
            if (!(w >> v)) return fail(name + " needs " + std::to_string(info->args) + " arguments");
            long long x = std::strtoll(v.c_str(), &end, 0);
            if (*end) return fail("bad number '" + v + "'");
            *fields[i - first] = x;
        }
        std::string extra;
        if (w >> extra) return fail("unexpected '" + extra + "'");
        events->push_back(e);
    }
    return true;
}

}  // namespace sim
