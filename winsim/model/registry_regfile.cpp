// winsim: .reg files ("Windows Registry Editor Version 5.00" and "REGEDIT4") written from
// and read into the machine's registry.
#include "winsim/registry.h"

#include "registry_model.h"

#include <stdexcept>

namespace winsim {

namespace {

constexpr const wchar_t* kHeader5 = L"Windows Registry Editor Version 5.00";
constexpr const wchar_t* kHeader4 = L"REGEDIT4";
constexpr const wchar_t* kEol = L"\r\n";

bool IsStringType(DWORD t) { return t == REG_SZ || t == REG_EXPAND_SZ || t == REG_MULTI_SZ; }

std::wstring Hex(uint64_t v, int width) {
    static const wchar_t kDigits[] = L"0123456789abcdef";
    std::wstring s;
    do {
        s.insert(s.begin(), kDigits[v & 0xF]);
        v >>= 4;
    } while (v);
    while (static_cast<int>(s.size()) < width) s.insert(s.begin(), L'0');
    return s;
}

std::wstring Escape(const std::wstring& s) {
    std::wstring out;
    for (wchar_t c : s) {
        if (c == L'\\' || c == L'"') out += L'\\';
        out += c;
    }
    return out;
}

// Text a REG_SZ can be written as in quotes: one terminator at the end and no other
// NUL, no line break.
bool PlainString(const std::vector<uint8_t>& data, std::wstring* text) {
    if (data.size() < 2 || data.size() % 2) return false;
    std::wstring w = reg::FromUtf16Bytes(data);
    if (w.empty() || w.back() != L'\0') return false;
    w.pop_back();
    for (wchar_t c : w)
        if (c == L'\0' || c == L'\r' || c == L'\n') return false;
    *text = w;
    return true;
}

std::wstring FormatValue(const reg::ValueRow& v, RegFormat format) {
    std::wstring line = v.name.empty() ? L"@" : L"\"" + Escape(v.name) + L"\"";
    line += L'=';
    std::wstring text;
    if (v.type == REG_SZ && PlainString(v.data, &text)) return line + L"\"" + Escape(text) + L"\"";
    if (v.type == REG_DWORD && v.data.size() == 4) {
        uint32_t d = v.data[0] | v.data[1] << 8 | v.data[2] << 16 | static_cast<uint32_t>(v.data[3]) << 24;
        return line + L"dword:" + Hex(d, 8);
    }
    std::vector<uint8_t> bytes = v.data;
    if (format == RegFormat::Regedit4 && IsStringType(v.type)) {
        // REGEDIT4 keeps strings in single bytes.
        bytes.clear();
        for (wchar_t c : reg::FromUtf16Bytes(v.data)) bytes.push_back(c <= 0xFF ? static_cast<uint8_t>(c) : '?');
    }
    line += v.type == REG_BINARY ? L"hex:" : L"hex(" + Hex(v.type, 0) + L"):";
    size_t col = line.size();
    for (size_t i = 0; i < bytes.size(); ++i) {
        std::wstring tok = Hex(bytes[i], 2);
        if (i + 1 < bytes.size()) tok += L',';
        line += tok;
        col += tok.size();
        if (i + 1 < bytes.size() && col > 76) {
            line += L"\\";
            line += kEol;
            line += L"  ";
            col = 2;
        }
    }
    return line;
}

void ExportKey(reg::Model& model, reg::KeyId id, const std::wstring& shown, RegFormat format, std::wstring* out) {
    *out += L"[" + shown + L"]" + kEol;
    for (const auto& v : model.Values(id)) *out += FormatValue(v, format) + kEol;
    *out += kEol;
    for (const auto& k : model.Subkeys(id)) ExportKey(model, k.id, shown + L"\\" + k.name, format, out);
}

// ---------------------------------------------------------------------------------------
// Import

struct ParseError {
    size_t line;
    std::string what;
};

struct Op {
    enum Kind { CreateKey, DeleteKey, SetValue, DeleteValue } kind;
    reg::FullPath key;
    std::wstring name;
    DWORD type = 0;
    std::vector<uint8_t> data;
};

std::wstring TrimLeft(const std::wstring& s) {
    size_t i = s.find_first_not_of(L" \t");
    return i == std::wstring::npos ? std::wstring() : s.substr(i);
}

std::wstring TrimRight(const std::wstring& s) {
    size_t i = s.find_last_not_of(L" \t");
    return i == std::wstring::npos ? std::wstring() : s.substr(0, i + 1);
}

std::wstring Trim(const std::wstring& s) { return TrimLeft(TrimRight(s)); }

bool StartsWithI(const std::wstring& s, const wchar_t* p) {
    std::wstring pre(p);
    return s.size() >= pre.size() && IEquals(s.substr(0, pre.size()), pre);
}

int HexDigit(wchar_t c) {
    if (c >= L'0' && c <= L'9') return c - L'0';
    if (c >= L'a' && c <= L'f') return c - L'a' + 10;
    if (c >= L'A' && c <= L'F') return c - L'A' + 10;
    return -1;
}

class Parser {
public:
    Parser(reg::Model& model, const std::wstring& sid, const std::wstring& text) : model_(model), sid_(sid) {
        size_t i = 0;
        while (i < text.size()) {
            size_t j = text.find(L'\n', i);
            if (j == std::wstring::npos) j = text.size();
            std::wstring l = text.substr(i, j - i);
            if (!l.empty() && l.back() == L'\r') l.pop_back();
            lines_.push_back(l);
            i = j + 1;
        }
        if (!lines_.empty() && !lines_[0].empty() && lines_[0][0] == 0xFEFF) lines_[0].erase(0, 1);
    }

    std::vector<Op> Parse() {
        size_t n = 0;
        while (n < lines_.size() && Trim(lines_[n]).empty()) ++n;
        if (n == lines_.size()) throw ParseError{1, "empty file (expected a registry file header)"};
        std::wstring header = Trim(lines_[n]);
        if (header == kHeader5) {
            v4_ = false;
        } else if (header == kHeader4) {
            v4_ = true;
        } else {
            throw ParseError{n + 1,
                             "not a registry file (expected \"Windows Registry Editor Version 5.00\" or "
                             "\"REGEDIT4\")"};
        }
        bool have_key = false;
        reg::FullPath key;
        for (++n; n < lines_.size(); ++n) {
            std::wstring l = Trim(lines_[n]);
            if (l.empty() || l[0] == L';') continue;
            if (l[0] == L'[') {
                if (l.back() != L']') throw ParseError{n + 1, "key line without closing ']'"};
                std::wstring path = l.substr(1, l.size() - 2);
                bool del = !path.empty() && path[0] == L'-';
                if (del) path.erase(0, 1);
                key = KeyPath(path, n);
                ops_.push_back(Op{del ? Op::DeleteKey : Op::CreateKey, key, L"", 0, {}});
                have_key = !del;
                continue;
            }
            if (l[0] == L'"' || l[0] == L'@') {
                if (!have_key) throw ParseError{n + 1, "value outside a key"};
                ParseValue(key, &n);
                continue;
            }
            throw ParseError{n + 1, "unexpected text '" + Utf8(l.substr(0, 40)) + "'"};
        }
        return ops_;
    }

private:
    reg::FullPath KeyPath(const std::wstring& path, size_t n) {
        if (path.empty()) throw ParseError{n + 1, "empty key name"};
        if (path[0] == L'\\' || path.back() == L'\\' || path.find(L"\\\\") != std::wstring::npos)
            throw ParseError{n + 1, "malformed key name"};
        try {
            return reg::ParseFullPath(model_, path, sid_, false);
        } catch (const std::invalid_argument& e) {
            throw ParseError{n + 1, std::string(e.what()) + " (roots are written in full, e.g. HKEY_LOCAL_MACHINE)"};
        }
    }

    // A quoted string at s[i] (the opening quote); i ends past the closing one.
    std::wstring Quoted(const std::wstring& s, size_t* i, size_t n) {
        std::wstring out;
        size_t k = *i + 1;
        for (; k < s.size(); ++k) {
            wchar_t c = s[k];
            if (c == L'"') {
                *i = k + 1;
                return out;
            }
            if (c == L'\\') {
                if (k + 1 < s.size() && (s[k + 1] == L'\\' || s[k + 1] == L'"')) {
                    out += s[++k];
                    continue;
                }
                throw ParseError{n + 1, "bad escape in a quoted string (write \\\\ for a backslash)"};
            }
            out += c;
        }
        throw ParseError{n + 1, "missing closing quote"};
    }

    void ParseValue(const reg::FullPath& key, size_t* pn) {
        size_t n = *pn;
        std::wstring l = Trim(lines_[n]);
        Op op{Op::SetValue, key, L"", 0, {}};
        size_t i = 0;
        if (l[0] == L'@') {
            i = 1;
        } else {
            op.name = Quoted(l, &i, n);
            if (op.name.size() > reg::kMaxValueName) throw ParseError{n + 1, "value name over 16383 characters"};
        }
        std::wstring rest = TrimLeft(l.substr(i));
        if (rest.empty() || rest[0] != L'=') throw ParseError{n + 1, "expected '=' after the value name"};
        rest = TrimLeft(rest.substr(1));
        if (rest == L"-") {
            op.kind = Op::DeleteValue;
        } else if (!rest.empty() && rest[0] == L'"') {
            size_t k = 0;
            std::wstring text = Quoted(rest, &k, n);
            if (!Trim(rest.substr(k)).empty()) throw ParseError{n + 1, "text after the closing quote"};
            op.type = REG_SZ;
            op.data = reg::ToUtf16Bytes(text + L'\0');
        } else if (StartsWithI(rest, L"dword:")) {
            std::wstring digits = Trim(rest.substr(6));
            if (digits.empty() || digits.size() > 8) throw ParseError{n + 1, "bad dword value (1 to 8 hex digits)"};
            uint32_t v = 0;
            for (wchar_t c : digits) {
                int d = HexDigit(c);
                if (d < 0) throw ParseError{n + 1, "bad dword value (1 to 8 hex digits)"};
                v = v << 4 | static_cast<uint32_t>(d);
            }
            op.type = REG_DWORD;
            for (int b = 0; b < 4; ++b) op.data.push_back(static_cast<uint8_t>(v >> (8 * b)));
        } else if (StartsWithI(rest, L"hex")) {
            size_t k = 3;
            op.type = REG_BINARY;
            if (k < rest.size() && rest[k] == L'(') {
                size_t close = rest.find(L')', k);
                if (close == std::wstring::npos || close == k + 1 || close - k - 1 > 8)
                    throw ParseError{n + 1, "bad hex(type) prefix"};
                uint32_t t = 0;
                for (size_t d = k + 1; d < close; ++d) {
                    int h = HexDigit(rest[d]);
                    if (h < 0) throw ParseError{n + 1, "bad hex(type) prefix"};
                    t = t << 4 | static_cast<uint32_t>(h);
                }
                op.type = t;
                k = close + 1;
            }
            if (k >= rest.size() || rest[k] != L':') throw ParseError{n + 1, "expected ':' after hex"};
            std::wstring list = rest.substr(k + 1);
            // Continuation lines.
            while (!TrimRight(list).empty() && TrimRight(list).back() == L'\\') {
                list = TrimRight(list);
                list.pop_back();
                if (++*pn >= lines_.size()) throw ParseError{n + 1, "continuation past the end of the file"};
                list += Trim(lines_[*pn]);
            }
            op.data = HexBytes(list, n);
            if (v4_ && IsStringType(op.type)) {
                std::wstring w;
                for (uint8_t b : op.data) w += static_cast<wchar_t>(b);
                op.data = reg::ToUtf16Bytes(w);
            }
        } else {
            throw ParseError{n + 1, "bad value data (expected \"text\", dword:, hex:, hex(n): or -)"};
        }
        ops_.push_back(std::move(op));
    }

    std::vector<uint8_t> HexBytes(const std::wstring& list, size_t n) {
        std::vector<uint8_t> out;
        std::wstring all = Trim(list);
        if (all.empty()) return out;
        size_t i = 0;
        while (i <= all.size()) {
            size_t j = all.find(L',', i);
            if (j == std::wstring::npos) j = all.size();
            std::wstring tok = Trim(all.substr(i, j - i));
            bool last = j == all.size();
            if (tok.empty() && last && !out.empty()) break;  // a trailing comma
            if (tok.empty() || tok.size() > 2) throw ParseError{n + 1, "bad hex byte '" + Utf8(tok) + "'"};
            int v = 0;
            for (wchar_t c : tok) {
                int d = HexDigit(c);
                if (d < 0) throw ParseError{n + 1, "bad hex byte '" + Utf8(tok) + "'"};
                v = v << 4 | d;
            }
            out.push_back(static_cast<uint8_t>(v));
            i = j + 1;
        }
        return out;
    }

    reg::Model& model_;
    const std::wstring& sid_;
    std::vector<std::wstring> lines_;
    std::vector<Op> ops_;
    bool v4_ = false;
};

}  // namespace

std::wstring Registry::ExportReg(const std::wstring& path, RegFormat format) const {
    reg::Model model(m_);
    std::lock_guard<std::recursive_mutex> g(model.store().mutex());
    std::wstring out = format == RegFormat::Version5 ? kHeader5 : kHeader4;
    out += kEol;
    out += kEol;
    auto fp = reg::ParseFullPath(model, path, user_sid_, true);
    reg::KeyId id = model.Walk(fp.start, fp.comps, false);
    if (!id) return out;
    // The shown path: the long root name, then the stored names below what it stands for.
    std::wstring shown = fp.label;
    reg::KeyId cur = fp.start;
    for (size_t i = 0; i < fp.comps.size(); ++i) {
        cur = model.Child(cur, fp.comps[i]);
        if (i >= fp.implicit) shown += L"\\" + model.Key(cur)->name;
    }
    ExportKey(model, id, shown, format, &out);
    return out;
}

std::vector<uint8_t> Registry::ExportRegFile(const std::wstring& path, RegFormat format) const {
    std::wstring text = ExportReg(path, format);
    std::vector<uint8_t> out;
    if (format == RegFormat::Version5) {
        out = {0xFF, 0xFE};
        auto b = reg::ToUtf16Bytes(text);
        out.insert(out.end(), b.begin(), b.end());
    } else {
        for (wchar_t c : text) out.push_back(c <= 0xFF ? static_cast<uint8_t>(c) : '?');
    }
    return out;
}

RegImportResult Registry::ImportReg(const std::wstring& text, RegView view) {
    reg::Model model(m_);
    RegImportResult r;
    std::vector<Op> ops;
    try {
        std::lock_guard<std::recursive_mutex> g(model.store().mutex());
        Parser p(model, user_sid_, text);
        ops = p.Parse();
        if (view == RegView::Wow32) {
            reg::KeyId hklm = model.Root(reg::kMachineRoot);
            for (auto& op : ops) {
                auto& c = op.key.comps;
                if (op.key.start == hklm && !c.empty() && IEquals(c[0], L"SOFTWARE") &&
                    !(c.size() > 1 && IEquals(c[1], L"WOW6432Node")))
                    c.insert(c.begin() + 1, L"WOW6432Node");
            }
        }
    } catch (const ParseError& e) {
        r.ok = false;
        r.line = e.line;
        r.error = "line " + std::to_string(e.line) + ": " + e.what;
        return r;
    }
    model.store().Transaction([&] {
        for (const auto& op : ops) {
            switch (op.kind) {
            case Op::CreateKey: model.Walk(op.key.start, op.key.comps, true); break;
            case Op::DeleteKey: {
                reg::KeyId id = model.Walk(op.key.start, op.key.comps, false);
                if (id && model.Key(id)->parent) model.DeleteTree(id);
                break;
            }
            case Op::SetValue:
                model.SetValue(model.Walk(op.key.start, op.key.comps, true), op.name, op.type, op.data);
                break;
            case Op::DeleteValue: {
                reg::KeyId id = model.Walk(op.key.start, op.key.comps, false);
                if (id) model.DeleteValue(id, op.name);
                break;
            }
            }
        }
    });
    return r;
}

RegImportResult Registry::ImportRegFile(const std::vector<uint8_t>& bytes, RegView view) {
    std::wstring text;
    if (bytes.size() >= 2 && bytes[0] == 0xFF && bytes[1] == 0xFE) {
        text = reg::FromUtf16Bytes(std::vector<uint8_t>(bytes.begin() + 2, bytes.end()));
    } else if (bytes.size() >= 3 && bytes[0] == 0xEF && bytes[1] == 0xBB && bytes[2] == 0xBF) {
        text = Wide(std::string(bytes.begin() + 3, bytes.end()));
    } else {
        for (uint8_t b : bytes) text += static_cast<wchar_t>(b);
    }
    return ImportReg(text, view);
}

}  // namespace winsim
