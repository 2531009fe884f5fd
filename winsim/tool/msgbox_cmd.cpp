// winsim tool: "msgbox" - the answers the machine gives message boxes and dialog boxes,
// and the boxes that programs showed.
#include "tool.h"

#include "winsim/msgbox.h"

#include <cstdio>

namespace winsim::tool {
namespace {

const char* kHelp =
    "msgbox answer ANSWER... | msgbox default TYPE ANSWER|button | msgbox click ID... |\n"
    "  msgbox queue | msgbox list | msgbox dialogs | msgbox clear [answers|boxes|clicks|dialogs]\n"
    "ANSWER: ok cancel abort retry ignore yes no close help tryagain continue, or a number.\n"
    "TYPE: ok okcancel abortretryignore yesnocancel yesno retrycancel canceltrycontinue.\n"
    "Queued answers go to the next message boxes in order; without one a box gets the default\n"
    "of its type ('button': the box's default button). 'click' queues the control ID that the\n"
    "machine clicks in the next dialog box.";

extern const Command kMsgBox;

std::optional<int> ParseAnswer(const std::string& s) {
    if (auto a = msgbox::AnswerByName(s)) return a;
    uint64_t v = 0;
    if (ParseNumber(s, &v) && v <= 0xFFFF) return static_cast<int>(v);
    return std::nullopt;
}

const char* SourceName(msgbox::Source s) {
    switch (s) {
    case msgbox::Source::Queued: return "queued";
    case msgbox::Source::Default: return "default";
    case msgbox::Source::Rejected: return "default, queued answer rejected";
    }
    return "?";
}

// A text on one line, in double quotes.
std::string Quoted(const std::wstring& w) {
    std::string out = "\"";
    for (char c : Utf8(w)) {
        if (c == '\n')
            out += "\\n";
        else if (c == '\r')
            out += "\\r";
        else if (c == '"' || c == '\\')
            out += std::string("\\") + c;
        else
            out += c;
    }
    return out + "\"";
}

int Run(Context& ctx, const Args& a) {
    if (a.empty()) return BadArgs(kMsgBox, "missing subcommand");
    const std::string& sub = a[0];
    if (sub == "help") {
        std::printf("usage: winsim %s\n", kHelp);
        return 0;
    }
    Machine& m = ctx.machine();
    if (sub == "answer" || sub == "click") {
        if (a.size() < 2)
            return BadArgs(kMsgBox, "expected at least one " + std::string(sub == "answer" ? "answer" : "ID"));
        std::vector<int> values;
        for (size_t i = 1; i < a.size(); ++i) {
            std::optional<int> v = ParseAnswer(a[i]);
            if (!v) return BadArgs(kMsgBox, "not an answer: '" + a[i] + "'");
            values.push_back(*v);
        }
        for (int v : values) sub == "answer" ? msgbox::QueueAnswer(m, v) : msgbox::QueueDialogClick(m, v);
        return 0;
    }
    if (sub == "default" && a.size() == 3) {
        auto type = msgbox::ButtonTypeByName(a[1]);
        if (!type) return BadArgs(kMsgBox, "unknown button type '" + a[1] + "'");
        if (a[2] == "button") {
            msgbox::SetDefaultAnswer(m, *type, std::nullopt);
            return 0;
        }
        auto v = ParseAnswer(a[2]);
        if (!v) return BadArgs(kMsgBox, "not an answer: '" + a[2] + "'");
        msgbox::SetDefaultAnswer(m, *type, *v);
        return 0;
    }
    if (sub == "queue" && a.size() == 1) {
        std::printf("answers:");
        for (int v : msgbox::QueuedAnswers(m)) std::printf(" %s", msgbox::AnswerName(v).c_str());
        std::printf("\nclicks:");
        for (int v : msgbox::QueuedDialogClicks(m)) std::printf(" %d", v);
        std::printf("\ndefaults:");
        for (UINT t = 0; t <= 6; ++t)
            std::printf(" %s=%s", msgbox::ButtonTypeName(t).c_str(),
                        msgbox::AnswerName(msgbox::DefaultAnswer(m, t)).c_str());
        std::printf("\n");
        return 0;
    }
    if (sub == "list" && a.size() == 1) {
        for (const auto& r : msgbox::Shown(m))
            std::printf("%lld %llu ms pid %u %s type 0x%x (%s) -> %s (%s) caption %s text %s\n",
                        static_cast<long long>(r.seq), static_cast<unsigned long long>(r.time_ms), r.pid,
                        Utf8(r.image).c_str(), r.type, msgbox::ButtonTypeName(r.type).c_str(),
                        msgbox::AnswerName(r.answer).c_str(), SourceName(r.source), Quoted(r.caption).c_str(),
                        Quoted(r.text).c_str());
        return 0;
    }
    if (sub == "dialogs" && a.size() == 1) {
        for (const auto& r : msgbox::Dialogs(m))
            std::printf("%lld %llu ms pid %u %s dialog %u caption %s clicked %d\n", static_cast<long long>(r.seq),
                        static_cast<unsigned long long>(r.time_ms), r.pid, Utf8(r.image).c_str(), r.template_id,
                        Quoted(r.caption).c_str(), r.clicked);
        return 0;
    }
    if (sub == "clear" && a.size() <= 2) {
        std::string what = a.size() == 2 ? a[1] : "all";
        bool all = what == "all";
        if (!all && what != "answers" && what != "boxes" && what != "clicks" && what != "dialogs")
            return BadArgs(kMsgBox, "clear what: answers, boxes, clicks or dialogs");
        if (all || what == "answers") msgbox::ClearAnswers(m);
        if (all || what == "boxes") msgbox::ClearShown(m);
        if (all || what == "clicks") msgbox::ClearDialogClicks(m);
        if (all || what == "dialogs") msgbox::ClearDialogs(m);
        return 0;
    }
    return BadArgs(kMsgBox, "unknown subcommand or arguments");
}

const Command kMsgBox{"msgbox", "msgbox answer|default|click|queue|list|dialogs|clear ...",
                      "script message box answers and dialog clicks, list the boxes shown (msgbox help)", Run};
const Registrar kReg{kMsgBox};

}  // namespace
}  // namespace winsim::tool
