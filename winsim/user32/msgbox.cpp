// winsim: MessageBoxW answered by the machine, and the machine's answers and records of
// message boxes and dialog boxes (winsim/msgbox.h).
#include <windows.h>

#include "internal.h"
#include "msgbox_internal.h"
#include "winsim/kernel.h"
#include "winsim/store.h"

#include <mutex>

namespace winsim::msgbox {

namespace {

const char* const kNs = "msgbox";

void Schema(Store& s) {
    s.Exec(
        "CREATE TABLE IF NOT EXISTS msgbox_queue (seq INTEGER PRIMARY KEY AUTOINCREMENT, kind INTEGER NOT NULL, "
        "answer INTEGER NOT NULL)");
    s.Exec(
        "CREATE TABLE IF NOT EXISTS msgbox_log (seq INTEGER PRIMARY KEY AUTOINCREMENT, time_ms INTEGER, "
        "pid INTEGER, image TEXT, owner INTEGER, text TEXT, caption TEXT, type INTEGER, answer INTEGER, "
        "source INTEGER)");
    s.Exec(
        "CREATE TABLE IF NOT EXISTS dialog_log (seq INTEGER PRIMARY KEY AUTOINCREMENT, time_ms INTEGER, "
        "pid INTEGER, image TEXT, template INTEGER, caption TEXT, clicked INTEGER)");
}

// Queue kinds.
constexpr int kBoxAnswer = 0;
constexpr int kDialogClick = 1;

void Push(Machine& m, int kind, int value) {
    Store& s = m.store();
    std::lock_guard<std::recursive_mutex> g(s.mutex());
    Schema(s);
    Stmt st(s.db(), "INSERT INTO msgbox_queue (kind, answer) VALUES (?, ?)");
    st.Bind(1, kind).Bind(2, value).Run();
}

std::vector<int> List(Machine& m, int kind) {
    Store& s = m.store();
    std::lock_guard<std::recursive_mutex> g(s.mutex());
    Schema(s);
    Stmt st(s.db(), "SELECT answer FROM msgbox_queue WHERE kind = ? ORDER BY seq");
    st.Bind(1, kind);
    std::vector<int> v;
    while (st.Step()) v.push_back(static_cast<int>(st.Int(0)));
    return v;
}

std::optional<int> Take(Machine& m, int kind) {
    Store& s = m.store();
    std::lock_guard<std::recursive_mutex> g(s.mutex());
    Schema(s);
    std::optional<int> out;
    s.Transaction([&] {
        Stmt st(s.db(), "SELECT seq, answer FROM msgbox_queue WHERE kind = ? ORDER BY seq LIMIT 1");
        st.Bind(1, kind);
        if (!st.Step()) return;
        int64_t seq = st.Int(0);
        out = static_cast<int>(st.Int(1));
        Stmt del(s.db(), "DELETE FROM msgbox_queue WHERE seq = ?");
        del.Bind(1, seq).Run();
    });
    return out;
}

void Clear(Machine& m, int kind) {
    Store& s = m.store();
    std::lock_guard<std::recursive_mutex> g(s.mutex());
    Schema(s);
    Stmt st(s.db(), "DELETE FROM msgbox_queue WHERE kind = ?");
    st.Bind(1, kind).Run();
}

std::string DefaultKey(UINT button_type) { return "default." + std::to_string(button_type & MB_TYPEMASK); }

struct Name {
    const char* name;
    int value;
};

const Name kAnswers[] = {{"ok", IDOK},
                         {"cancel", IDCANCEL},
                         {"abort", IDABORT},
                         {"retry", IDRETRY},
                         {"ignore", IDIGNORE},
                         {"yes", IDYES},
                         {"no", IDNO},
                         {"close", IDCLOSE},
                         {"help", IDHELP},
                         {"tryagain", IDTRYAGAIN},
                         {"continue", IDCONTINUE}};

const Name kTypes[] = {{"ok", MB_OK},
                       {"okcancel", MB_OKCANCEL},
                       {"abortretryignore", MB_ABORTRETRYIGNORE},
                       {"yesnocancel", MB_YESNOCANCEL},
                       {"yesno", MB_YESNO},
                       {"retrycancel", MB_RETRYCANCEL},
                       {"canceltrycontinue", MB_CANCELTRYCONTINUE}};

}  // namespace

std::vector<int> Buttons(UINT type) {
    switch (type & MB_TYPEMASK) {
    case MB_OK: return {IDOK};
    case MB_OKCANCEL: return {IDOK, IDCANCEL};
    case MB_ABORTRETRYIGNORE: return {IDABORT, IDRETRY, IDIGNORE};
    case MB_YESNOCANCEL: return {IDYES, IDNO, IDCANCEL};
    case MB_YESNO: return {IDYES, IDNO};
    case MB_RETRYCANCEL: return {IDRETRY, IDCANCEL};
    case MB_CANCELTRYCONTINUE: return {IDCANCEL, IDTRYAGAIN, IDCONTINUE};
    default: return {};
    }
}

int DefaultAnswer(Machine& m, UINT type) {
    if (auto set = m.store().GetInt(kNs, DefaultKey(type))) return static_cast<int>(*set);
    std::vector<int> b = Buttons(type);
    if (b.empty()) return 0;
    size_t def = (type & MB_DEFMASK) >> 8;
    return def < b.size() ? b[def] : b[0];
}

void SetDefaultAnswer(Machine& m, UINT button_type, std::optional<int> answer) {
    if (answer)
        m.store().SetInt(kNs, DefaultKey(button_type), *answer);
    else
        m.store().DeleteSetting(kNs, DefaultKey(button_type));
}

void QueueAnswer(Machine& m, int answer) { Push(m, kBoxAnswer, answer); }
std::vector<int> QueuedAnswers(Machine& m) { return List(m, kBoxAnswer); }
void ClearAnswers(Machine& m) { Clear(m, kBoxAnswer); }

std::vector<Record> Shown(Machine& m) {
    Store& s = m.store();
    std::lock_guard<std::recursive_mutex> g(s.mutex());
    Schema(s);
    Stmt st(s.db(),
            "SELECT seq, time_ms, pid, image, owner, text, caption, type, answer, source FROM msgbox_log "
            "ORDER BY seq");
    std::vector<Record> v;
    while (st.Step()) {
        Record r;
        r.seq = st.Int(0);
        r.time_ms = static_cast<uint64_t>(st.Int(1));
        r.pid = static_cast<DWORD>(st.Int(2));
        r.image = Wide(st.Text(3));
        r.owner = reinterpret_cast<HWND>(static_cast<uintptr_t>(st.Int(4)));
        r.text = Wide(st.Text(5));
        r.caption = Wide(st.Text(6));
        r.type = static_cast<UINT>(st.Int(7));
        r.answer = static_cast<int>(st.Int(8));
        r.source = static_cast<Source>(st.Int(9));
        v.push_back(std::move(r));
    }
    return v;
}

void ClearShown(Machine& m) {
    Store& s = m.store();
    std::lock_guard<std::recursive_mutex> g(s.mutex());
    Schema(s);
    s.Exec("DELETE FROM msgbox_log");
}

void QueueDialogClick(Machine& m, int control_id) { Push(m, kDialogClick, control_id); }
std::vector<int> QueuedDialogClicks(Machine& m) { return List(m, kDialogClick); }
void ClearDialogClicks(Machine& m) { Clear(m, kDialogClick); }

std::vector<DialogRecord> Dialogs(Machine& m) {
    Store& s = m.store();
    std::lock_guard<std::recursive_mutex> g(s.mutex());
    Schema(s);
    Stmt st(s.db(), "SELECT seq, time_ms, pid, image, template, caption, clicked FROM dialog_log ORDER BY seq");
    std::vector<DialogRecord> v;
    while (st.Step()) {
        DialogRecord r;
        r.seq = st.Int(0);
        r.time_ms = static_cast<uint64_t>(st.Int(1));
        r.pid = static_cast<DWORD>(st.Int(2));
        r.image = Wide(st.Text(3));
        r.template_id = static_cast<WORD>(st.Int(4));
        r.caption = Wide(st.Text(5));
        r.clicked = static_cast<int>(st.Int(6));
        v.push_back(std::move(r));
    }
    return v;
}

void ClearDialogs(Machine& m) {
    Store& s = m.store();
    std::lock_guard<std::recursive_mutex> g(s.mutex());
    Schema(s);
    s.Exec("DELETE FROM dialog_log");
}

std::optional<int> AnswerByName(const std::string& name) {
    std::string n = name;
    for (auto& c : n) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    for (const auto& a : kAnswers)
        if (n == a.name || n == std::string("id") + a.name) return a.value;
    return std::nullopt;
}

std::string AnswerName(int answer) {
    for (const auto& a : kAnswers)
        if (a.value == answer) return a.name;
    return std::to_string(answer);
}

std::optional<UINT> ButtonTypeByName(const std::string& name) {
    std::string n = name;
    for (auto& c : n) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (n.rfind("mb_", 0) == 0) n = n.substr(3);
    for (const auto& t : kTypes)
        if (n == t.name) return static_cast<UINT>(t.value);
    return std::nullopt;
}

std::string ButtonTypeName(UINT type) {
    for (const auto& t : kTypes)
        if (static_cast<UINT>(t.value) == (type & MB_TYPEMASK)) return t.name;
    return std::to_string(type & MB_TYPEMASK);
}

}  // namespace winsim::msgbox

namespace winsim::msgboximpl {

std::optional<int> TakeDialogClick(Machine& m) { return msgbox::Take(m, msgbox::kDialogClick); }

void RecordDialog(Machine& m, WORD template_id, const std::wstring& caption, int clicked) {
    Process& p = CurrentProcess();
    Store& s = m.store();
    std::lock_guard<std::recursive_mutex> g(s.mutex());
    msgbox::Schema(s);
    Stmt st(s.db(),
            "INSERT INTO dialog_log (time_ms, pid, image, template, caption, clicked) VALUES (?, ?, ?, ?, ?, ?)");
    st.Bind(1, static_cast<int64_t>(m.NowMs()))
        .Bind(2, p.pid)
        .Bind(3, Utf8(p.image_path))
        .Bind(4, template_id)
        .Bind(5, Utf8(caption))
        .Bind(6, clicked)
        .Run();
}

}  // namespace winsim::msgboximpl

namespace winsim::internal {

void ResetMsgBox(Machine& m) {
    Store& s = m.store();
    std::lock_guard<std::recursive_mutex> g(s.mutex());
    msgbox::Schema(s);
    s.Exec("DELETE FROM msgbox_queue");
    s.Exec("DELETE FROM msgbox_log");
    s.Exec("DELETE FROM dialog_log");
}

}  // namespace winsim::internal

using namespace winsim;

int WINAPI MessageBoxW(HWND owner, LPCWSTR text, LPCWSTR caption, UINT type) {
    std::vector<int> buttons = msgbox::Buttons(type);
    if (buttons.empty()) return Fail(ERROR_INVALID_MSGBOX_STYLE, 0);
    if (owner && !IsWindow(owner)) return Fail(ERROR_INVALID_WINDOW_HANDLE, 0);
    Machine& m = CurrentMachine();

    // The box's own message loop handles what is already waiting.
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
            PostQuitMessage(static_cast<int>(msg.wParam));
            break;
        }
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }

    msgbox::Source source = msgbox::Source::Default;
    int answer = msgbox::DefaultAnswer(m, type);
    if (auto q = msgbox::Take(m, msgbox::kBoxAnswer)) {
        bool valid = false;
        for (int b : buttons) valid = valid || b == *q;
        if (valid) {
            answer = *q;
            source = msgbox::Source::Queued;
        } else {
            source = msgbox::Source::Rejected;
        }
    }

    Process& p = CurrentProcess();
    Store& s = m.store();
    {
        std::lock_guard<std::recursive_mutex> g(s.mutex());
        msgbox::Schema(s);
        Stmt st(s.db(),
                "INSERT INTO msgbox_log (time_ms, pid, image, owner, text, caption, type, answer, source) "
                "VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?)");
        st.Bind(1, static_cast<int64_t>(m.NowMs()))
            .Bind(2, p.pid)
            .Bind(3, Utf8(p.image_path))
            .Bind(4, static_cast<int64_t>(reinterpret_cast<uintptr_t>(owner)))
            .Bind(5, Utf8(text ? text : L""))
            .Bind(6, Utf8(caption ? caption : L"Error"))
            .Bind(7, type)
            .Bind(8, answer)
            .Bind(9, static_cast<int64_t>(source))
            .Run();
    }
    SetLastError(ERROR_SUCCESS);
    return answer;
}
