// Starts a program and measures, from outside, what its user sees:
//   paint:  time from exec to the first drawing into its window titled TITLE, and its peak RSS;
//   signin: time from that window's activation (the focus arriving) to the first drawing of its
//           editor area after the server's log file has shown PATTERN (the status has arrived).
// The program is not told it is measured: nothing is passed to it but its own arguments.
//
//   startup_probe paint  --title TITLE [--settle-ms N] [--timeout-ms N] -- program [args...]
//   startup_probe signin --title TITLE --log FILE --pattern TEXT [...] -- program [args...]
//
// Prints one line of name=value pairs; exits 1 when the measurement could not be taken.
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "XWatch.h"

namespace {

using Clock = XWatch::Clock;

struct Args
{
    std::string mode;
    std::string title;
    std::string log;
    std::string pattern;
    int settleMs = 300;
    int timeoutMs = 20000;
    std::vector<char*> program;
};

[[noreturn]] void Usage()
{
    std::fprintf(stderr, "usage: startup_probe paint|signin --title TITLE [--log FILE --pattern TEXT]\n"
                         "                     [--settle-ms N] [--timeout-ms N] -- program [args...]\n");
    std::exit(2);
}

Args Parse(int argc, char** argv)
{
    Args a;
    if (argc < 2)
        Usage();
    a.mode = argv[1];
    int i = 2;
    for (; i < argc; ++i) {
        const std::string opt = argv[i];
        if (opt == "--")
            break;
        if (i + 1 >= argc)
            Usage();
        const char* value = argv[++i];
        if (opt == "--title")
            a.title = value;
        else if (opt == "--log")
            a.log = value;
        else if (opt == "--pattern")
            a.pattern = value;
        else if (opt == "--settle-ms")
            a.settleMs = std::stoi(value);
        else if (opt == "--timeout-ms")
            a.timeoutMs = std::stoi(value);
        else
            Usage();
    }
    for (++i; i < argc; ++i)
        a.program.push_back(argv[i]);
    a.program.push_back(nullptr);
    if ((a.mode != "paint" && a.mode != "signin") || a.title.empty() || a.program.size() < 2)
        Usage();
    if (a.mode == "signin" && (a.log.empty() || a.pattern.empty()))
        Usage();
    return a;
}

double Ms(Clock::duration d)
{
    return std::chrono::duration<double, std::milli>(d).count();
}

// Follows a growing log file and tells when a text has appeared in it.
class LogFollower
{
public:
    LogFollower(std::string path, std::string pattern)
        : m_path(std::move(path)), m_pattern(std::move(pattern))
    {
        std::ifstream f(m_path, std::ios::binary | std::ios::ate);
        m_offset = f ? std::streamoff(f.tellg()) : 0;
    }
    bool Seen()
    {
        if (m_seen)
            return true;
        std::ifstream f(m_path, std::ios::binary);
        if (!f)
            return false;
        f.seekg(m_offset);
        std::string chunk((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
        m_offset += std::streamoff(chunk.size());
        m_tail += chunk;
        m_seen = m_tail.find(m_pattern) != std::string::npos;
        if (m_tail.size() > m_pattern.size())
            m_tail.erase(0, m_tail.size() - m_pattern.size());
        return m_seen;
    }

private:
    std::string m_path, m_pattern, m_tail;
    std::streamoff m_offset = 0;
    bool m_seen = false;
};

bool TouchesEditor(const XWatch::Event& e)
{
    // The editor fills the window between the 22-pixel account row and the 29-pixel counter row
    // above the 18-pixel log button.
    const int top = 22, bottom = int(e.geometry.height) - 47;
    return int(e.area.y)<bottom&& int(e.area.y) + int(e.area.height)> top;
}

} // namespace

int main(int argc, char** argv)
{
    const Args args = Parse(argc, argv);
    try {
        XWatch x;
        std::optional<LogFollower> log;
        if (args.mode == "signin")
            log.emplace(args.log, args.pattern);

        const Clock::time_point start = Clock::now();
        const pid_t child = fork();
        if (child < 0)
            throw std::runtime_error("fork failed");
        if (child == 0) {
            execvp(args.program[0], args.program.data());
            std::fprintf(stderr, "startup_probe: cannot run %s: %s\n", args.program[0], std::strerror(errno));
            _exit(127);
        }

        std::optional<Clock::time_point> painted, activated, seen, shown;
        const Clock::time_point deadline = start + std::chrono::milliseconds(args.timeoutMs);
        bool exited = false;
        int status = 0;
        rusage usage{};
        while (Clock::now() < deadline) {
            const bool done = args.mode == "paint" ? bool(painted) : bool(shown);
            if (done)
                break;
            pollfd p{x.Fd(), POLLIN, 0};
            poll(&p, 1, 2);
            while (auto e = x.Next()) {
                if (x.Title(e->window) != args.title)
                    continue;
                if (e->kind == XWatch::Event::Kind::Activated) {
                    if (!activated)
                        activated = e->at;
                } else {
                    if (!painted)
                        painted = e->at;
                    // The log is read at the drawing itself: the repaint that shows the status may
                    // arrive in the same poll as the request reaches the log. The editor is drawn
                    // only twice during a sign-in: disabled at its start, and with the status.
                    if (log && activated && !shown && TouchesEditor(*e) && (seen || log->Seen())) {
                        if (!seen)
                            seen = e->at;
                        shown = e->at;
                    }
                }
            }
            if (log && activated && !seen && log->Seen())
                seen = Clock::now();
            if (wait4(child, &status, WNOHANG, &usage) == child) {
                exited = true;
                break;
            }
        }

        if (!exited) {
            // Let start-up work that follows the first paint finish, so that the peak RSS is that of
            // a started program, then end it the way a session end does.
            const Clock::time_point settle = Clock::now() + std::chrono::milliseconds(args.settleMs);
            while (Clock::now() < settle) {
                while (x.Next()) {
                }
                usleep(2000);
            }
            kill(child, SIGTERM);
            wait4(child, &status, 0, &usage);
        }
        const int code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        if (args.mode == "paint") {
            if (!painted) {
                std::fprintf(stderr, "startup_probe: no window titled \"%s\" was painted\n",
                             args.title.c_str());
                return 1;
            }
            std::printf("first_paint_ms=%.3f max_rss_kb=%ld exit=%d\n", Ms(*painted - start), usage.ru_maxrss,
                        code);
        } else {
            if (!activated || !shown) {
                std::fprintf(stderr, "startup_probe: %s\n",
                             !activated ? "the window was never activated"
                                        : "the status never appeared after activation");
                return 1;
            }
            std::printf("signin_ms=%.3f activation_ms=%.3f server_ms=%.3f exit=%d\n", Ms(*shown - *activated),
                        Ms(*activated - start), Ms(*seen - *activated), code);
        }
        return 0;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "startup_probe: %s\n", e.what());
        return 1;
    }
}
