// unitsim: simulated optical units on pseudo-terminals, for trying the
// application by hand. Each unit's slave path is printed and, unless
// --no-links, linked as COM<n> in the Ports folder that the application
// reads. Every unit plays a trainee who aims while measuring and, with
// --shoot-every, shoots on its own. Runs until interrupted; simple commands
// on standard input fire shots, take units to the range, send the power-up
// byte, unplug and replug units.
#include "TSimUnit.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

int SignalPipe[2] = {-1, -1};

void OnSignal(int)
{
    const char c = 1;
    [[maybe_unused]] ssize_t n = ::write(SignalPipe[1], &c, 1);
}

void Usage()
{
    std::cout <<
        "usage: unitsim [options]\n"
        "  --units N          number of units (default 1)\n"
        "  --prefix P         name prefix, KBR or ZUV (default KBR)\n"
        "  --ports-dir DIR    folder of COM<n> links (default: the application's Ports folder)\n"
        "  --no-links         print the slave paths only\n"
        "  --first-com N      first COM number to use (default 20)\n"
        "  --power-up         send \"-\" whenever a port goes raw at 115200\n"
        "  --extra-samples    stream U and V records with the samples\n"
        "  --stored BANK:N    N stored shots in that bank of every unit, on a 10 m ring target\n"
        "  --shoot-every S    while measuring, each unit shoots every S seconds or so (0: never; default 0)\n"
        "  --seed N           the trainees' seed, so that runs repeat (default 1)\n"
        "  --range N          once programmed, stopped and left alone for 5 s, a unit goes to the range: its port goes,\n"
        "                     it stores N shots, and 2 s later its port is back (default: off)\n"
        "commands on standard input (units counted from 1):\n"
        "  shot U [X Y]       a shot now, at the trainee's aim or at X Y (raw units)\n"
        "  range U [N]        a trip to the range now: N stored shots (default: the setup's bullets)\n"
        "                     with the programmed setup, the port away meanwhile\n"
        "  dash U | unplug U | replug U | status | help | quit\n";
}

bool MakeDirs(const std::string& path)
{
    std::string partial;
    std::stringstream parts(path);
    std::string piece;
    if (!path.empty() && path[0] == '/')
        partial = "/";
    while (std::getline(parts, piece, '/')) {
        if (piece.empty())
            continue;
        partial += piece + "/";
        if (::mkdir(partial.c_str(), 0755) != 0 && errno != EEXIST)
            return false;
    }
    return true;
}

std::string DefaultPortsDir()
{
    std::string base;
    if (const char* xdg = std::getenv("XDG_DATA_HOME"); xdg && *xdg)
        base = xdg;
    else if (const char* home = std::getenv("HOME"); home && *home)
        base = std::string(home) + "/.local/share";
    else
        return {};
    return base + "/Tavrik/TRAXEL/Ports";
}

bool ParseDouble(const std::string& text, double& value)
{
    char* end = nullptr;
    errno = 0;
    const double v = std::strtod(text.c_str(), &end);
    if (text.empty() || *end != 0 || errno != 0 || !(v >= 0 && v <= 3600))
        return false;
    value = v;
    return true;
}

bool ParseInt(const std::string& text, int& value)
{
    char* end = nullptr;
    errno = 0;
    const long v = std::strtol(text.c_str(), &end, 10);
    if (text.empty() || *end != 0 || errno != 0 || v < -2147483647L || v > 2147483647L)
        return false;
    value = int(v);
    return true;
}

struct Unit {
    std::unique_ptr<unitsim::TSimUnit> sim;
    int com = 0;
};

} // namespace

int main(int argc, char** argv)
{
    int units = 1;
    int firstCom = 20;
    std::string prefix = "KBR";
    std::string portsDir;
    bool links = true;
    bool powerUp = false;
    bool extraSamples = false;
    std::vector<std::pair<int, int>> stored;
    double shootEvery = 0;
    int seed = 1;
    int range = 0;

    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        auto next = [&](std::string& out) {
            if (i + 1 >= argc)
                return false;
            out = argv[++i];
            return true;
        };
        std::string v;
        if (a == "--help" || a == "-h") {
            Usage();
            return 0;
        } else if (a == "--units" && next(v) && ParseInt(v, units) && units >= 1 && units <= 64) {
        } else if (a == "--first-com" && next(v) && ParseInt(v, firstCom) && firstCom >= 1 && firstCom <= 255) {
        } else if (a == "--prefix" && next(v) && v.size() == 3) {
            prefix = v;
        } else if (a == "--ports-dir" && next(v)) {
            portsDir = v;
        } else if (a == "--no-links") {
            links = false;
        } else if (a == "--power-up") {
            powerUp = true;
        } else if (a == "--extra-samples") {
            extraSamples = true;
        } else if (a == "--shoot-every" && next(v)) {
            if (!ParseDouble(v, shootEvery)) {
                std::cerr << "unitsim: bad --shoot-every value \"" << v << "\" (seconds, 0-3600)\n";
                return 2;
            }
        } else if (a == "--seed" && next(v) && ParseInt(v, seed)) {
        } else if (a == "--range" && next(v) && ParseInt(v, range) && range >= 0 && range <= 255) {
        } else if (a == "--stored" && next(v)) {
            const auto colon = v.find(':');
            int bank = 0, count = 0;
            if (colon == std::string::npos || !ParseInt(v.substr(0, colon), bank) || !ParseInt(v.substr(colon + 1), count)
                || bank < 0 || bank > 6 || count < 0 || count > 255) {
                std::cerr << "unitsim: bad --stored value \"" << v << "\" (BANK 0-6 : COUNT 0-255)\n";
                return 2;
            }
            stored.emplace_back(bank, count);
        } else {
            std::cerr << "unitsim: bad argument \"" << a << "\"\n";
            Usage();
            return 2;
        }
    }

    if (links) {
        if (portsDir.empty())
            portsDir = DefaultPortsDir();
        if (portsDir.empty() || !MakeDirs(portsDir)) {
            std::cerr << "unitsim: cannot use the ports folder \"" << portsDir << "\"\n";
            return 1;
        }
    }

    if (::pipe(SignalPipe) != 0) {
        std::perror("unitsim: pipe");
        return 1;
    }
    std::signal(SIGINT, OnSignal);
    std::signal(SIGTERM, OnSignal);
    std::signal(SIGPIPE, SIG_IGN);

    std::vector<Unit> all;
    int com = firstCom;
    try {
        for (int n = 0; n < units; ++n) {
            unitsim::UnitConfig config;
            config.name = unitsim::UnitName(prefix, 1000 + n + 1);
            config.powerUpOnRaw = powerUp;
            config.extraSamples = extraSamples;
            config.trainee = true;
            config.shootEverySeconds = shootEvery;
            config.traineeSeed = unsigned(seed) * 1000u + unsigned(n);
            config.rangeShotsAfterProgramming = range;
            Unit u;
            u.sim = std::make_unique<unitsim::TSimUnit>(config);
            if (!stored.empty())
                u.sim->LoadFactorySetup();
            for (const auto& [bank, count] : stored)
                if (count > 0)
                    u.sim->GoToRange(count, bank);
            if (links) {
                struct stat st{};
                while (com <= 255 && ::lstat((portsDir + "/COM" + std::to_string(com)).c_str(), &st) == 0)
                    ++com;
                if (com > 255) {
                    std::cerr << "unitsim: no free COM number in " << portsDir << "\n";
                    return 1;
                }
                u.com = com++;
                u.sim->SetPortLink(portsDir + "/COM" + std::to_string(u.com));
            }
            all.push_back(std::move(u));
        }
    } catch (const std::exception& e) {
        std::cerr << e.what() << "\n";
        return 1;
    }

    auto describe = [&](std::size_t i, bool counts = false) {
        const Unit& u = all[i];
        std::cout << "unit " << i + 1 << ": " << u.sim->Name() << " "
                  << (u.sim->Plugged() ? u.sim->SlavePath() : std::string("(unplugged)"));
        if (u.com)
            std::cout << " COM" << u.com;
        if (counts) {
            const unitsim::UnitStats stats = u.sim->Stats();
            std::cout << ", " << (u.sim->Measuring() ? "measuring" : "idle") << ", " << stats.resultsSent << " shots sent";
        }
        std::cout << "\n";
    };
    for (std::size_t i = 0; i < all.size(); ++i)
        describe(i);
    std::cout.flush();

    bool stdinOpen = true;
    std::string pending;
    for (;;) {
        pollfd fds[2] = {{SignalPipe[0], POLLIN, 0}, {STDIN_FILENO, POLLIN, 0}};
        if (::poll(fds, stdinOpen ? 2 : 1, -1) < 0 && errno != EINTR)
            break;
        if (fds[0].revents & POLLIN)
            break;
        if (!stdinOpen || !(fds[1].revents & (POLLIN | POLLHUP)))
            continue;
        char buf[256];
        const ssize_t n = ::read(STDIN_FILENO, buf, sizeof buf);
        if (n <= 0) {
            stdinOpen = false; // keep running until a signal
            continue;
        }
        pending.append(buf, std::size_t(n));
        std::size_t eol;
        bool quit = false;
        while ((eol = pending.find('\n')) != std::string::npos) {
            std::istringstream line(pending.substr(0, eol));
            pending.erase(0, eol + 1);
            std::string cmd, a, b, c;
            line >> cmd >> a >> b >> c;
            if (cmd.empty())
                continue;
            if (cmd == "quit") {
                quit = true;
                break;
            }
            if (cmd == "status") {
                for (std::size_t i = 0; i < all.size(); ++i)
                    describe(i, true);
                continue;
            }
            if (cmd == "help") {
                Usage();
                continue;
            }
            int index = 0;
            if (!ParseInt(a, index) || index < 1 || index > int(all.size())) {
                std::cout << "unknown unit \"" << a << "\"\n";
                continue;
            }
            unitsim::TSimUnit& u = *all[std::size_t(index - 1)].sim;
            int x = 0, y = 0, count = 0;
            if (cmd == "shot" && b.empty()) {
                u.FireTraineeShot();
            } else if (cmd == "shot" && ParseInt(b, x) && ParseInt(c, y) && x >= -32768 && x <= 32767 && y >= -32768
                       && y <= 32767) {
                u.FireShotAt(int16_t(x), int16_t(y));
            } else if (cmd == "shot") {
                std::cout << "usage: shot U [X Y]\n";
            } else if (cmd == "range" && (b.empty() || (ParseInt(b, count) && count >= 1 && count <= 255))) {
                const int bank = u.TripToTheRange(count);
                if (bank < 0)
                    std::cout << "unit " << index << " holds no setup with a target: program it first\n";
                else
                    std::cout << "unit " << index << ": at the range, " << u.BankCount(bank) << " shots in bank " << bank
                              << "; back in a moment\n";
            } else if (cmd == "range") {
                std::cout << "usage: range U [N], N 1-255\n";
            } else if (cmd == "dash") {
                u.SendPowerUp();
            } else if (cmd == "unplug") {
                u.Unplug();
                describe(std::size_t(index - 1));
            } else if (cmd == "replug") {
                u.Replug();
                describe(std::size_t(index - 1));
            } else {
                std::cout << "unknown command \"" << cmd << "\"\n";
            }
        }
        std::cout.flush();
        if (quit)
            break;
    }
    all.clear(); // removes the links
    return 0;
}
