// The tablet's life, simulated: each seed makes a list of events (a day of rotations,
// sleeps, logons, device removals, driver faults ...) that runs on a fresh simulated tablet
// with the service and the GUI, while the system's invariants are checked. Each run is a
// child process of its own, so that a crash, a sanitizer report or a hang ends only it.
//
// Usage:
//   simulate [--seeds N|A-B] [-j JOBS] [--timeout SEC]       run seeds (default 1-100)
//   simulate --seed N [--debug] [--save FILE [--minimise]]   one seed
//   simulate --events FILE [--debug] [--save FILE [--minimise]]   a saved event list
// A failure prints the seed, the events up to it and the command that replays it with the
// programs' debug output; --minimise drops events while the same invariant still breaks.
#include "sim_events.h"
#include "sim_world.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace {

const char* kUsage =
    "usage: simulate [--seeds N|A-B] [-j JOBS] [--timeout SEC] [--quiet]\n"
    "       simulate --seed N | --events FILE  [--debug] [--save FILE [--minimise]]\n";

struct Outcome {
    bool ok = true;
    size_t event = 0;
    uint64_t time_ms = 0;
    std::string invariant, what, output;
    uint64_t virtual_ms = 0;
    std::vector<uint64_t> times;  // of the events run
};

int g_progress_fd = -1;

void Progress(size_t i, uint64_t time_ms) {
    char b[48];
    int n = std::snprintf(b, sizeof b, "E %zu %llu\n", i, static_cast<unsigned long long>(time_ms));
    if (g_progress_fd >= 0 && write(g_progress_fd, b, static_cast<size_t>(n)) < 0) return;
}

std::string ReadFile(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    std::ostringstream o;
    o << f.rdbuf();
    return o.str();
}

// A run in a child process; its output and progress go to files that the parent reads.
struct Child {
    pid_t pid = 0;
    std::string out_path, progress_path;
    std::chrono::steady_clock::time_point start;
};

Child Spawn(const std::vector<sim::Event>& events) {
    Child c;
    char out[] = "/tmp/simulate-out-XXXXXX", prog[] = "/tmp/simulate-progress-XXXXXX";
    int out_fd = mkstemp(out), prog_fd = mkstemp(prog);
    c.out_path = out;
    c.progress_path = prog;
    c.start = std::chrono::steady_clock::now();
    std::fflush(stdout);
    std::fflush(stderr);
    c.pid = fork();
    if (c.pid == 0) {
        dup2(out_fd, 1);
        dup2(out_fd, 2);
        g_progress_fd = prog_fd;
        sim::RunResult r = sim::Run(events, sim::RunOptions{}, Progress);
        std::string line = r.ok ? "OK " + std::to_string(r.virtual_ms) + "\n"
                                : "FAIL " + std::to_string(r.event) + " " + std::to_string(r.time_ms) + " " +
                                      r.invariant + " " + r.what + "\n";
        if (write(prog_fd, line.data(), line.size()) < 0) _exit(3);
        std::fflush(stdout);
        // The machine's parked threads stay as they are: the process ends here.
        _exit(r.ok ? 0 : 1);
    }
    close(out_fd);
    close(prog_fd);
    return c;
}

Outcome Collect(const Child& c, int status, bool timed_out) {
    Outcome o;
    std::string prog = ReadFile(c.progress_path);
    o.output = ReadFile(c.out_path);
    unlink(c.progress_path.c_str());
    unlink(c.out_path.c_str());
    std::istringstream in(prog);
    std::string line;
    bool done = false;
    while (std::getline(in, line)) {
        if (line.rfind("E ", 0) == 0) {
            char* end = nullptr;
            o.event = std::strtoull(line.c_str() + 2, &end, 10);
            o.times.push_back(std::strtoull(end, nullptr, 10));
        } else if (line.rfind("OK ", 0) == 0) {
            done = true;
            o.virtual_ms = std::strtoull(line.c_str() + 3, nullptr, 10);
        } else if (line.rfind("FAIL ", 0) == 0) {
            done = true;
            o.ok = false;
            std::istringstream w(line.substr(5));
            w >> o.event >> o.time_ms >> o.invariant;
            std::getline(w, o.what);
            if (!o.what.empty() && o.what[0] == ' ') o.what.erase(0, 1);
        }
    }
    bool sanitizer = o.output.find("ERROR: AddressSanitizer") != std::string::npos ||
                     o.output.find("runtime error:") != std::string::npos;
    if (timed_out) {
        o.ok = false;
        o.invariant = "no-hang";
        o.what = "the run made no end in real time (killed)";
    } else if (sanitizer) {
        o.ok = false;
        o.invariant = "no-sanitizer-report";
        o.what = "a sanitizer reported an error (output below)";
    } else if (!done || !WIFEXITED(status) || (WEXITSTATUS(status) != 0 && o.ok)) {
        o.ok = false;
        o.invariant = "no-crash";
        o.what = WIFSIGNALED(status) ? "the run died of signal " + std::to_string(WTERMSIG(status))
                                     : "the run ended with exit code " + std::to_string(WEXITSTATUS(status));
    }
    return o;
}

Outcome RunOne(const std::vector<sim::Event>& events, int timeout_s) {
    Child c = Spawn(events);
    int status = 0;
    bool timed_out = false;
    for (;;) {
        pid_t r = waitpid(c.pid, &status, WNOHANG);
        if (r == c.pid) break;
        if (std::chrono::steady_clock::now() - c.start > std::chrono::seconds(timeout_s)) {
            kill(c.pid, SIGKILL);
            waitpid(c.pid, &status, 0);
            timed_out = true;
            break;
        }
        usleep(2000);
    }
    return Collect(c, status, timed_out);
}

// Drops events while the same invariant still breaks; a dropped event's delay goes to the
// next, so that the others keep their times.
std::vector<sim::Event> Minimise(std::vector<sim::Event> events, const Outcome& failure, int timeout_s) {
    if (failure.event + 1 < events.size()) events.resize(failure.event + 1);
    auto drop = [](const std::vector<sim::Event>& v, size_t from, size_t n) {
        std::vector<sim::Event> out;
        uint32_t carry = 0;
        for (size_t i = 0; i < v.size(); ++i) {
            if (i >= from && i < from + n) {
                carry += v[i].delay_ms;
                continue;
            }
            sim::Event e = v[i];
            e.delay_ms += carry;
            carry = 0;
            out.push_back(e);
        }
        return out;
    };
    int tries = 0;
    for (size_t chunk = events.size() / 2; chunk >= 1; chunk /= 2) {
        for (size_t i = 0; i < events.size() && tries < 400;) {
            auto candidate = drop(events, i, chunk);
            ++tries;
            Outcome o = RunOne(candidate, timeout_s);
            if (!o.ok && o.invariant == failure.invariant) {
                events = candidate;
                if (o.event + 1 < events.size()) events.resize(o.event + 1);
                std::fprintf(stderr, "minimise: %zu events still fail\n", events.size());
            } else {
                i += chunk;
            }
        }
    }
    return events;
}

void Report(const std::string& source, const std::string& replay, const std::vector<sim::Event>& events,
            const Outcome& o) {
    std::printf("FAILED %s: %s after event %zu at %llu ms: %s\n", source.c_str(), o.invariant.c_str(), o.event,
                static_cast<unsigned long long>(o.time_ms), o.what.c_str());
    std::printf("  events up to the failure:\n");
    for (size_t i = 0; i < events.size() && i <= o.event; ++i) {
        if (i < o.times.size())
            std::printf("    %-40s # %zu at %llu ms\n", sim::Format(events[i]).c_str(), i,
                        static_cast<unsigned long long>(o.times[i]));
        else
            std::printf("    %s\n", sim::Format(events[i]).c_str());
    }
    if (o.invariant == "no-crash" || o.invariant == "no-sanitizer-report" || o.invariant == "no-hang") {
        std::string tail = o.output.size() > 6000 ? o.output.substr(o.output.size() - 6000) : o.output;
        std::printf("  output:\n%s\n", tail.c_str());
    }
    std::printf("  replay with the programs' debug output: %s --debug\n", replay.c_str());
    std::printf("  save and minimise: %s --save FILE --minimise\n", replay.c_str());
    std::fflush(stdout);
}

bool ParseSeeds(const std::string& s, uint64_t* a, uint64_t* b) {
    char* end = nullptr;
    *a = std::strtoull(s.c_str(), &end, 10);
    if (end == s.c_str()) return false;
    if (*end == 0) {
        *b = *a;
        *a = 1;
        return *b >= 1;
    }
    if (*end != '-') return false;
    const char* rest = end + 1;
    *b = std::strtoull(rest, &end, 10);
    return end != rest && *end == 0 && *a <= *b;
}

}  // namespace

int main(int argc, char** argv) {
    std::string self = argv[0];
    uint64_t first = 1, last = 100;
    bool one = false, debug = false, minimise = false, quiet = false;
    std::string events_file, save_file;
    int jobs = 3, timeout_s = 300;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        auto next = [&]() -> std::string {
            if (i + 1 >= argc) {
                std::fputs(kUsage, stderr);
                std::exit(2);
            }
            return argv[++i];
        };
        if (a == "--seeds") {
            if (!ParseSeeds(next(), &first, &last)) {
                std::fprintf(stderr, "simulate: --seeds takes N or A-B\n");
                return 2;
            }
        } else if (a == "--seed") {
            std::string v = next();
            char* end = nullptr;
            first = last = std::strtoull(v.c_str(), &end, 10);
            if (end == v.c_str() || *end) {
                std::fprintf(stderr, "simulate: bad seed '%s'\n", v.c_str());
                return 2;
            }
            one = true;
        } else if (a == "--events") {
            events_file = next();
            one = true;
        } else if (a == "--save") {
            save_file = next();
        } else if (a == "--minimise") {
            minimise = true;
        } else if (a == "--debug") {
            debug = true;
        } else if (a == "--quiet") {
            quiet = true;
        } else if (a == "-j" || a.rfind("-j", 0) == 0) {
            jobs = std::atoi(a == "-j" ? next().c_str() : a.c_str() + 2);
            if (jobs < 1) jobs = 1;
        } else if (a == "--timeout") {
            timeout_s = std::atoi(next().c_str());
            if (timeout_s < 1) timeout_s = 1;
        } else {
            std::fputs(kUsage, stderr);
            return 2;
        }
    }
    if ((minimise || !save_file.empty()) && !one) {
        std::fprintf(stderr, "simulate: --save and --minimise take one seed or event list\n");
        return 2;
    }

    if (one) {
        std::vector<sim::Event> events;
        std::string source, replay;
        if (!events_file.empty()) {
            std::ifstream f(events_file);
            if (!f) {
                std::fprintf(stderr, "simulate: cannot read %s\n", events_file.c_str());
                return 2;
            }
            std::string error;
            if (!sim::ParseList(ReadFile(events_file), &events, &error)) {
                std::fprintf(stderr, "simulate: %s: %s\n", events_file.c_str(), error.c_str());
                return 2;
            }
            source = events_file;
            replay = self + " --events " + events_file;
        } else {
            events = sim::Generate(first);
            source = "seed " + std::to_string(first);
            replay = self + " --seed " + std::to_string(first);
        }
        if (debug) {
            // In this process, with everything printed as it happens.
            sim::RunOptions o;
            o.debug = true;
            sim::RunResult r = sim::Run(events, o);
            if (r.ok) {
                std::printf("%s: every invariant held over %llu ms\n", source.c_str(),
                            static_cast<unsigned long long>(r.virtual_ms));
                std::fflush(stdout);
                _exit(0);
            }
            std::printf("FAILED %s: %s after event %zu at %llu ms: %s\n", source.c_str(), r.invariant.c_str(), r.event,
                        static_cast<unsigned long long>(r.time_ms), r.what.c_str());
            std::fflush(stdout);
            _exit(1);
        }
        Outcome o = RunOne(events, timeout_s);
        if (!o.ok) Report(source, replay, events, o);
        if (!o.ok && minimise) {
            events = Minimise(events, o, timeout_s);
            Outcome m = RunOne(events, timeout_s);
            std::printf("minimised to %zu events (%s):\n%s", events.size(), m.invariant.c_str(),
                        sim::FormatList(events).c_str());
        }
        if (!save_file.empty()) {
            std::ofstream f(save_file);
            f << "# " << source << (o.ok ? "" : ": " + o.invariant + ": " + o.what) << "\n" << sim::FormatList(events);
            if (!f) {
                std::fprintf(stderr, "simulate: cannot write %s\n", save_file.c_str());
                return 2;
            }
        }
        if (o.ok)
            std::printf("%s: every invariant held over %llu ms\n", source.c_str(),
                        static_cast<unsigned long long>(o.virtual_ms));
        return o.ok ? 0 : 1;
    }

    // Many seeds, up to jobs at a time.
    auto start = std::chrono::steady_clock::now();
    std::map<pid_t, std::pair<uint64_t, Child>> running;
    std::vector<uint64_t> failed;
    uint64_t next_seed = first, done = 0;
    while (next_seed <= last || !running.empty()) {
        while (next_seed <= last && running.size() < static_cast<size_t>(jobs)) {
            Child c = Spawn(sim::Generate(next_seed));
            running[c.pid] = {next_seed, c};
            ++next_seed;
        }
        int status = 0;
        pid_t pid = waitpid(-1, &status, WNOHANG);
        bool timed_out = false;
        if (pid <= 0) {
            for (auto& [p, rc] : running)
                if (std::chrono::steady_clock::now() - rc.second.start > std::chrono::seconds(timeout_s)) {
                    kill(p, SIGKILL);
                    waitpid(p, &status, 0);
                    pid = p;
                    timed_out = true;
                    break;
                }
            if (pid <= 0) {
                usleep(2000);
                continue;
            }
        }
        auto it = running.find(pid);
        if (it == running.end()) continue;
        uint64_t seed = it->second.first;
        Outcome o = Collect(it->second.second, status, timed_out);
        running.erase(it);
        ++done;
        if (!o.ok) {
            failed.push_back(seed);
            Report("seed " + std::to_string(seed), self + " --seed " + std::to_string(seed), sim::Generate(seed), o);
        } else if (!quiet) {
            std::printf("seed %llu: ok (%llu ms of the tablet's life)\n", static_cast<unsigned long long>(seed),
                        static_cast<unsigned long long>(o.virtual_ms));
            std::fflush(stdout);
        }
    }
    double secs = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("%llu seeds in %.1f s: %.2f seeds per second, %zu failed", static_cast<unsigned long long>(done), secs,
                secs > 0 ? done / secs : 0.0, failed.size());
    for (size_t i = 0; i < failed.size(); ++i)
        std::printf("%s%llu", i ? " " : " (seeds ", static_cast<unsigned long long>(failed[i]));
    std::printf("%s\n", failed.empty() ? "" : ")");
    return failed.empty() ? 0 : 1;
}
