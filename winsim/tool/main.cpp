// winsim tool: entry point and the machine commands.
#include "tool.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>

namespace winsim::tool {

namespace {
std::map<std::string, Command>& Commands() {
    static std::map<std::string, Command> c;
    return c;
}

int PrintUsage(FILE* f) {
    std::fprintf(f,
                 "usage: winsim [--machine DIR] COMMAND [ARGS]\n\n"
                 "The machine folder is DIR, else $WINSIM_MACHINE, else %s.\n\ncommands:\n",
                 Machine::DefaultFolder().c_str());
    for (auto& [name, c] : Commands()) std::fprintf(f, "  %-44s %s\n", c.usage, c.help);
    return f == stderr ? 2 : 0;
}
}  // namespace

void Register(const Command& c) { Commands()[c.name] = c; }

int BadArgs(const Command& c, const std::string& message) {
    std::fprintf(stderr, "winsim %s: %s\nusage: winsim %s\n", c.name, message.c_str(), c.usage);
    return 2;
}

int Error(const std::string& message) {
    std::fprintf(stderr, "winsim: %s\n", message.c_str());
    return 1;
}

bool ParseNumber(const std::string& s, uint64_t* out) {
    if (s.empty()) return false;
    char* end = nullptr;
    errno = 0;
    unsigned long long v = std::strtoull(s.c_str(), &end, 0);
    if (errno || *end || s[0] == '-') return false;
    *out = v;
    return true;
}

int LogOptions(Context& ctx, const Command& c, const Args& a, const std::string& table) {
    Store& s = ctx.machine().store();
    if (a.size() == 2 && a[1] == "--clear") {
        s.ClearLog(table);
        return 0;
    }
    uint64_t n = 0;
    if (a.size() == 3 && a[1] == "--limit") {
        if (!ParseNumber(a[2], &n) || n == 0 || n > (1ull << 40))
            return BadArgs(c, "expected a number of rows, got '" + a[2] + "'");
        s.SetLogLimit(table, static_cast<int64_t>(n));
        return 0;
    }
    if (a.size() > 1) return BadArgs(c, "unexpected argument '" + a[1] + "'");
    return -1;
}

void PrintDropped(Context& ctx, const std::string& table) {
    Store& s = ctx.machine().store();
    if (int64_t n = s.LogDropped(table))
        std::printf("(%lld earlier rows dropped: the log keeps the last %lld)\n", static_cast<long long>(n),
                    static_cast<long long>(s.LogLimit(table)));
}

Machine& Context::machine() {
    if (!opened) opened = Machine::Open(folder);
    return *opened;
}

namespace {

const Command kCreate{"create", "create [--profile NAME] [--force]",
                      "create the machine from a profile (default: tablet)", [](Context& ctx, const Args& a) {
                          std::string profile = "tablet";
                          bool force = false;
                          for (size_t i = 0; i < a.size(); ++i) {
                              if (a[i] == "--force") {
                                  force = true;
                              } else if (a[i] == "--profile" && i + 1 < a.size()) {
                                  profile = a[++i];
                              } else {
                                  return BadArgs(kCreate, "unexpected argument '" + a[i] + "'");
                              }
                          }
                          auto profiles = Machine::Profiles();
                          if (std::find(profiles.begin(), profiles.end(), profile) == profiles.end())
                              return BadArgs(kCreate, "unknown profile '" + profile + "'");
                          namespace fs = std::filesystem;
                          if (fs::exists(fs::path(ctx.folder) / "machine.db")) {
                              if (!force)
                                  return Error("a machine exists in " + ctx.folder + " (use --force to replace it)");
                              Machine::Open(ctx.folder)->Reset(profile);
                          } else {
                              Machine::Open(ctx.folder, profile);
                          }
                          std::printf("created a '%s' machine in %s\n", profile.c_str(), ctx.folder.c_str());
                          return 0;
                      }};
Registrar r1(kCreate);

const Command kReset{"reset", "reset [--profile NAME]", "erase the machine and set it up again from a profile",
                     [](Context& ctx, const Args& a) {
                         std::string profile;
                         for (size_t i = 0; i < a.size(); ++i) {
                             if (a[i] == "--profile" && i + 1 < a.size())
                                 profile = a[++i];
                             else
                                 return BadArgs(kReset, "unexpected argument '" + a[i] + "'");
                         }
                         Machine& m = ctx.machine();
                         if (profile.empty()) profile = m.store().GetText("machine", "profile").value_or("tablet");
                         auto profiles = Machine::Profiles();
                         if (std::find(profiles.begin(), profiles.end(), profile) == profiles.end())
                             return BadArgs(kReset, "unknown profile '" + profile + "'");
                         m.Reset(profile);
                         std::printf("reset the machine in %s to '%s'\n", ctx.folder.c_str(), profile.c_str());
                         return 0;
                     }};
Registrar r3(kReset);

const Command kInfo{"info", "info", "show the machine folder and its profile", [](Context& ctx, const Args& a) {
                        if (!a.empty()) return BadArgs(kInfo, "no arguments expected");
                        Machine& m = ctx.machine();
                        auto p = m.store().GetText("machine", "profile");
                        std::printf("machine  %s\nprofile  %s\n", ctx.folder.c_str(), p ? p->c_str() : "?");
                        return 0;
                    }};
Registrar r2(kInfo);

}  // namespace
}  // namespace winsim::tool

int main(int argc, char** argv) {
    using namespace winsim::tool;
    Context ctx;
    ctx.folder = winsim::Machine::DefaultFolder();
    int i = 1;
    for (; i < argc; ++i) {
        std::string a = argv[i];
        if (a == "--machine" && i + 1 < argc) {
            ctx.folder = argv[++i];
        } else if (a == "-h" || a == "--help" || a == "help") {
            return PrintUsage(stdout);
        } else {
            break;
        }
    }
    if (i >= argc) return PrintUsage(stderr);
    auto it = Commands().find(argv[i]);
    if (it == Commands().end()) {
        std::fprintf(stderr, "winsim: unknown command '%s'\n", argv[i]);
        return PrintUsage(stderr);
    }
    Args args(argv + i + 1, argv + argc);
    try {
        return it->second.run(ctx, args);
    } catch (const std::exception& e) {
        return Error(e.what());
    }
}
