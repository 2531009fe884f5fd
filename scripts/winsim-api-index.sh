#!/usr/bin/env bash
# The index of winsim's Windows API: every function winsim exports (the WINAPI functions of
# its SDK-named headers, the C runtime extras of winsim/crt*.h, strsafe) and every COM class
# it can create, with the file that defines it, whether the system's programs call it
# (common/, service/, gui/, setup/, tools/) and which test files call it.
#
# Usage: scripts/winsim-api-index.sh [--check] [--unused]
#   (none)    prints the table: NAME  FILE  PRODUCT(yes/-)  TESTS (files, comma-separated)
#   --unused  prints only the names that nothing calls and no test covers
#   --check   prints those names and exits 1 when there is any (and for a function declared
#             without a definition, defined twice, or defined WINAPI without a declaration)
set -euo pipefail
cd "$(dirname "$0")/.."
exec python3 - "$@" <<'PYTHON'
import glob, os, re, sys

mode = sys.argv[1] if len(sys.argv) > 1 else ""
if mode not in ("", "--check", "--unused"):
    sys.exit("usage: scripts/winsim-api-index.sh [--check] [--unused]")

PRODUCT = ["common", "service", "gui", "setup", "tools"]
IDENT = re.compile(r"[A-Za-z_]\w*")


def strip(text, keep_strings=False):
    """The text without comments (and string and character literals' contents)."""
    out, i, n = [], 0, len(text)
    while i < n:
        c = text[i]
        if text.startswith("//", i):
            j = text.find("\n", i)
            i = n if j < 0 else j
        elif text.startswith("/*", i):
            j = text.find("*/", i + 2)
            out.append(" ")
            i = n if j < 0 else j + 2
        elif c in "\"'" and not keep_strings:
            if c == '"' and re.search(r'(?:^|[^\w])(?:L|u8|u|U)?R$', text[max(0, i - 3):i]):  # R"d(...)d"
                k = text.find("(", i)
                end = ")" + text[i + 1:k] + '"'
                j = text.find(end, k)
                i = n if j < 0 else j + len(end)
                out.append('""')
                continue
            j = i + 1
            while j < n and text[j] != c and text[j] != "\n":
                j += 2 if text[j] == "\\" else 1
            out.append(c + c)
            i = j + 1
        else:
            out.append(c)
            i += 1
    return "".join(out)


def read(path):
    with open(path, encoding="utf-8", errors="replace") as f:
        return f.read()


def without_preprocessor(text):
    lines, out, cont = text.split("\n"), [], False
    for line in lines:
        is_pp = cont or line.lstrip().startswith("#")
        cont = is_pp and line.rstrip().endswith("\\")
        out.append("" if is_pp else line)
    return "\n".join(out)


def top_level_statements(text):
    """(statement, terminator) pairs at namespace or extern "C" level of a stripped text."""
    stack, start, result = [], 0, []
    for i, c in enumerate(text):
        if c not in ";{}":
            continue
        stmt = text[start:i]
        global_scope = all(k == "ext" for k in stack)
        if c == "{":
            head = stmt.strip()
            if re.match(r'extern\s*""$', head):
                kind = "ext"
            elif re.match(r"(inline\s+)?namespace\b", head):
                kind = "ns"
            else:
                kind = "body"
            if global_scope:
                result.append((stmt, "{", stack[:]))
            stack.append(kind)
        elif c == "}":
            if stack:
                stack.pop()
        elif global_scope:
            result.append((stmt, ";", stack[:]))
        start = i + 1
    return result


FUNC = re.compile(r"^(?:template\s*<[^>]*>\s*)?[\w\s\*&:,<>]*?[\s\*&]\**\s*(?:WINAPIV?\s+|__cdecl\s+|__stdcall\s+|CALLBACK\s+)?"
                  r"\**\s*([A-Za-z_]\w*)\s*\((.*)\)\s*(?:noexcept\s*)?$", re.S)
NOT_FUNCS = {"if", "while", "for", "switch", "return", "sizeof", "decltype", "defined", "operator"}

# 1. What winsim declares: the SDK-named headers, the C runtime extras and the API headers
#    the SDK-named ones include.
headers = sorted(glob.glob("winsim/include/*.h") + glob.glob("winsim/include/winsim/api_*.h") +
                 glob.glob("winsim/include/winsim/crt*.h"))
declared, aliases = {}, {}
for h in headers:
    raw = strip(read(h))
    for m in re.finditer(r"^\s*#\s*define\s+([A-Za-z_]\w*)\s+([A-Za-z_]\w*)\s*$", raw, re.M):
        aliases.setdefault(m.group(1), set()).add(m.group(2))
    for stmt, term, stack in top_level_statements(without_preprocessor(raw)):
        s = " ".join(stmt.split())
        if term != ";" or not s or re.match(r"(typedef|using|struct|class|enum|union|static_assert|extern\s+const)\b", s):
            continue
        if "virtual" in s or "=" in s.split("(")[0]:
            continue
        m = FUNC.match(s)
        if m and m.group(1) not in NOT_FUNCS and not m.group(1).isupper():
            declared.setdefault(m.group(1), h)

# 2. Where winsim defines them (at global scope), and the COM classes it registers.
winsim_sources = sorted(p for p in glob.glob("winsim/**/*.cpp", recursive=True)
                        if not p.startswith(("winsim/tool/", "winsim/launcher/")))
defined = {}
undeclared = []
classes = {}
for src in winsim_sources:
    text = without_preprocessor(strip(read(src)))
    for stmt, term, stack in top_level_statements(text):
        if term != "{" or "ns" in stack:
            continue
        s = " ".join(stmt.split())
        m = FUNC.match(s)
        if not m or "::" in s.split("(")[0]:
            continue
        if m.group(1) in declared:
            defined.setdefault(m.group(1), []).append(src)
        elif re.search(r"\b(WINAPIV?|__cdecl|__stdcall)\s+\**\s*" + m.group(1) + r"\s*\(", s):
            undeclared.append(f"{m.group(1)}: defined in {src} but declared in no header of winsim/include")
    for m in re.finditer(r"\b(CLSID_\w+)\s*,\s*\[", text):
        classes.setdefault(m.group(1), src)

# The names a caller may write for each function: the function's own and the macros that
# stand for it (CreateEvent for CreateEventW, fputws for winsim_fputws ...).
spellings = {name: {name} for name in list(declared) + list(classes)}
changed = True
resolved = {a: set(t) for a, t in aliases.items()}
while changed:
    changed = False
    for a, targets in resolved.items():
        for t in list(targets):
            for u in resolved.get(t, ()):
                if u not in targets:
                    targets.add(u)
                    changed = True
for a, targets in resolved.items():
    for t in targets:
        if t in spellings:
            spellings[t].add(a)
word_to_names = {}
for name, words in spellings.items():
    for w in words:
        word_to_names.setdefault(w, set()).add(name)

def uses(path):
    """The indexed names a file uses: as words, not as members (x.Name, p->Name) nor as
    another scope's names (Class::Name; ::Name is the global one)."""
    text = strip(read(path))
    found = set()
    for m in IDENT.finditer(text):
        w = m.group(0)
        if w not in word_to_names:
            continue
        before = text[max(0, m.start() - 64):m.start()].rstrip()
        if before.endswith(".") or before.endswith("->"):
            continue
        if before.endswith("::") and re.search(r"\w\s*::$", before):
            continue
        found |= word_to_names[w]
    return found


def files_under(folders, exts=(".cpp", ".h", ".c", ".hpp")):
    for folder in folders:
        for p in sorted(glob.glob(folder + "/**/*", recursive=True)):
            if p.endswith(exts) and os.path.isfile(p):
                yield p


product_uses = set()
for p in files_under(PRODUCT):
    product_uses |= uses(p)
test_uses = {}
for p in files_under(["tests"]):
    for name in uses(p):
        test_uses.setdefault(name, []).append(os.path.relpath(p, "tests"))

# 3. The table.
rows, problems = [], list(undeclared)
for name in sorted(declared, key=str.lower):
    where = defined.get(name, [])
    if not where:
        problems.append(f"{name}: declared in {declared[name]} but defined nowhere in winsim")
    elif len(where) > 1:
        problems.append(f"{name}: defined in {', '.join(where)}")
    rows.append((name, where[0] if where else "-", name in product_uses, test_uses.get(name, [])))
for name in sorted(classes, key=str.lower):
    rows.append((name, classes[name], name in product_uses, test_uses.get(name, [])))

unused = [r[0] for r in rows if not r[2] and not r[3]]
if mode == "":
    width = max(len(r[0]) for r in rows)
    fwidth = max(len(r[1]) for r in rows)
    print(f"{'function':<{width}}  {'file':<{fwidth}}  product  tests")
    for name, where, product, tests in rows:
        print(f"{name:<{width}}  {where:<{fwidth}}  {'yes' if product else '-':<7}  {', '.join(tests) or '-'}")
    print(f"\n{len(rows)} exports ({len(classes)} COM classes): {sum(1 for r in rows if r[2])} called by the "
          f"system, {sum(1 for r in rows if r[3])} by tests, {len(unused)} by neither.")
    for p in problems:
        print("problem: " + p)
elif mode == "--unused":
    for name in unused:
        print(name)
else:
    for name in unused:
        print(f"{name}: no caller in the system and no test")
    for p in problems:
        print(p)
    if unused or problems:
        print(f"winsim-api-index: {len(unused) + len(problems)} problem(s)", file=sys.stderr)
        sys.exit(1)
    print(f"winsim-api-index: {len(rows)} exports, each with a caller or a test")
PYTHON
