// winsim tool: running a program of the system (its Linux executable) in the machine.
#include "tool.h"

#include <cstdio>
#include <cstdlib>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace winsim::tool {
namespace {

extern const Command kRun;
int RunRun(Context& ctx, const Args& a) {
    std::vector<std::string> argv;
    std::string image;
    size_t i = 0;
    for (; i < a.size(); ++i) {
        if (a[i] == "--image" && i + 1 < a.size()) {
            image = a[++i];
        } else {
            break;
        }
    }
    if (i >= a.size()) return BadArgs(kRun, "missing program");
    for (; i < a.size(); ++i) argv.push_back(a[i]);
    ctx.machine();  // the machine exists before the program opens it
    ctx.opened.reset();
    std::fflush(stdout);
    pid_t pid = fork();
    if (pid < 0) return Error("cannot start " + argv[0]);
    if (pid == 0) {
        setenv("WINSIM_MACHINE", ctx.folder.c_str(), 1);
        setenv("WINSIM_DEBUG_OUTPUT", "1", 1);
        if (!image.empty()) setenv("WINSIM_IMAGE", image.c_str(), 1);
        std::vector<char*> cargv;
        for (auto& s : argv) cargv.push_back(&s[0]);
        cargv.push_back(nullptr);
        execvp(cargv[0], cargv.data());
        std::perror(cargv[0]);
        _exit(127);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    int code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    std::printf("exit code %d\n", code);
    return code;
}
const Command kRun{"run", "run [--image C:\\\\PATH.exe] PROGRAM [ARGS]",
                   "run a program of the system in the machine, printing its debug output", RunRun};
Registrar r(kRun);

}  // namespace
}  // namespace winsim::tool
