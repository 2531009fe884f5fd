// winsim tool: commands that set up, inspect and drive a simulated machine.
#pragma once

#include "winsim/machine.h"

#include <memory>
#include <string>
#include <vector>

namespace winsim::tool {

struct Context {
    std::string folder;  // machine folder (--machine, else $WINSIM_MACHINE, else the default)
    // Opens the machine (created from the default profile on first use).
    Machine& machine();
    std::unique_ptr<Machine> opened;
};

using Args = std::vector<std::string>;
using Handler = int (*)(Context&, const Args&);

struct Command {
    const char* name;   // "reg", "hci" ...
    const char* usage;  // "reg query KEY [NAME]" ...
    const char* help;   // one line
    Handler run;
};

// Commands register themselves with a static Registrar in their own source file.
void Register(const Command& c);
struct Registrar {
    explicit Registrar(const Command& c) { Register(c); }
};

// Prints "winsim NAME: message" and the command's usage to stderr; returns 2.
int BadArgs(const Command& c, const std::string& message);
// Prints "winsim: message" to stderr; returns 1.
int Error(const std::string& message);

// Parsing helpers: a DWORD in decimal or 0x-hex; false when the text is not a number.
bool ParseNumber(const std::string& s, uint64_t* out);

// A request log's options, "log --clear" and "log --limit N" (the rows it keeps): the exit
// code, or -1 for a plain "log", whose rows the command prints and then PrintDropped.
int LogOptions(Context& ctx, const Command& c, const Args& a, const std::string& table);
void PrintDropped(Context& ctx, const std::string& table);

}  // namespace winsim::tool
