// Runs the built program with a pseudo-terminal as its controlling terminal
// and checks the key wait from the keyboard's side.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <sched.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace std::chrono_literals;

const char* const kInput = "2 -3 0\n";
// How long a test waits for what the program shows at the latest: long
// enough for a sanitizer build on a busy machine, never a time it needs.
constexpr auto kPatience = std::chrono::seconds(120);
const std::string kClosing = "============================\r\n\r\n";

bool same_mode(const termios& a, const termios& b) {
    return a.c_iflag == b.c_iflag && a.c_oflag == b.c_oflag && a.c_cflag == b.c_cflag &&
           a.c_lflag == b.c_lflag && std::memcmp(a.c_cc, b.c_cc, sizeof a.c_cc) == 0;
}

// How the program is started: its entries, its TERM, and whether it runs
// on one core only (which makes its long runs last twice as long).
struct Start {
    std::string entries = kInput;
    const char* term = "xterm";
    bool one_core = false;
};

// The program on its own terminal, fed its entries through a pipe.
class ProgramOnTerminal {
public:
    // Like a shell with job control: a session leader that owns the terminal
    // runs the program as the foreground job and reports how it ended.
    explicit ProgramOnTerminal(const Start& start = {}) {
        const std::string& entries = start.entries;
        EXPECT_EQ(openpty(&master_, &slave_, nullptr, nullptr, nullptr), 0);
        tcgetattr(slave_, &initial_mode_);
        int input[2];
        int job_pid[2];
        EXPECT_EQ(pipe(input), 0);
        EXPECT_EQ(pipe(job_pid), 0);
        shell_ = fork();
        if (shell_ == 0) {
            setsid();
            ioctl(slave_, TIOCSCTTY, 0);
            const pid_t job = fork();
            if (job == 0) {
                setpgid(0, 0);
                setenv("TERM", start.term, 1);
                if (start.one_core) {
                    cpu_set_t allowed{};
                    sched_getaffinity(0, sizeof allowed, &allowed);
                    for (int cpu = 0; cpu < CPU_SETSIZE; ++cpu) {
                        if (!CPU_ISSET(cpu, &allowed)) continue;
                        CPU_ZERO(&allowed);
                        CPU_SET(cpu, &allowed);
                        break;
                    }
                    sched_setaffinity(0, sizeof allowed, &allowed);
                }
                const rlimit no_core{0, 0};
                setrlimit(RLIMIT_CORE, &no_core);  // SIGQUIT would leave one
                dup2(input[0], STDIN_FILENO);
                dup2(slave_, STDOUT_FILENO);
                dup2(slave_, STDERR_FILENO);
                closefrom(STDERR_FILENO + 1);
                execl(REIHEN_BINARY, REIHEN_BINARY, nullptr);
                _exit(127);
            }
            setpgid(job, job);
            tcsetpgrp(slave_, job);
            (void)!write(job_pid[1], &job, sizeof job);
            int status = 0;
            while (waitpid(job, &status, 0) == job && !WIFEXITED(status) && !WIFSIGNALED(status)) {
            }
            _exit(WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status));
        }
        close(input[0]);
        close(job_pid[1]);
        EXPECT_EQ(read(job_pid[0], &job_, sizeof job_), static_cast<ssize_t>(sizeof job_));
        close(job_pid[0]);
        EXPECT_EQ(write(input[1], entries.data(), entries.size()),
                  static_cast<ssize_t>(entries.size()));
        close(input[1]);
        fcntl(master_, F_SETFL, O_NONBLOCK);
    }

    ~ProgramOnTerminal() {
        if (shell_ > 0 && waitpid(shell_, nullptr, WNOHANG) == 0) {
            kill(job_, SIGKILL);
            waitpid(shell_, nullptr, 0);
        }
        close(master_);
        close(slave_);
    }

    // Reads what the program wrote until `until` has appeared (at most
    // kPatience); with no `until`, what it has written so far.
    void read_output(const std::string& until = "") {
        const auto deadline = std::chrono::steady_clock::now() + kPatience;
        while (std::chrono::steady_clock::now() < deadline) {
            char buffer[4096];
            const ssize_t got = read(master_, buffer, sizeof buffer);
            if (got > 0) {
                output_.append(buffer, static_cast<std::size_t>(got));
            } else if (output_.find(until) != std::string::npos) {
                return;
            } else {
                std::this_thread::sleep_for(5ms);
            }
        }
    }

    bool raw_mode() const {
        termios mode{};
        tcgetattr(slave_, &mode);
        return (mode.c_lflag & ICANON) == 0;
    }

    // Whether every key arrives as its bytes: no line editing, echo,
    // signals, literal-next or flow control, and no carriage returns turned.
    bool keys_arrive_whole() const {
        termios mode{};
        tcgetattr(slave_, &mode);
        return (mode.c_lflag & (ICANON | ECHO | ISIG | IEXTEN)) == 0 &&
               (mode.c_iflag & (IXON | ICRNL | INLCR | IGNCR)) == 0;
    }

    bool wait_for(bool raw) const {
        return eventually([&] { return raw_mode() == raw; });
    }

    // Waits until the program sits in the key wait.
    void reach_key_wait() {
        read_output(kClosing);
        ASSERT_TRUE(wait_for(true));
    }

    void type(const std::string& keys) {
        ASSERT_EQ(write(master_, keys.data(), keys.size()), static_cast<ssize_t>(keys.size()));
    }

    // The job's exit status, or 128 plus the signal that ended it; -1
    // where it did not end within kPatience (it is ended then).
    int exit_status() {
        int status = 0;
        if (eventually([&] { return waitpid(shell_, &status, WNOHANG) == shell_; })) {
            return WEXITSTATUS(status);
        }
        kill(job_, SIGKILL);
        waitpid(shell_, &status, 0);
        return -1;
    }

    // Sets the terminal's size, as a resized window does.
    void resize(unsigned short columns) const {
        const winsize size{24, columns, 0, 0};
        ioctl(master_, TIOCSWINSZ, &size);
    }

    bool stopped() const {
        const std::string path = "/proc/" + std::to_string(job_) + "/stat";
        return eventually([&] {
            std::ifstream stat(path);
            std::string pid_field, name, state;
            stat >> pid_field >> name >> state;
            return state == "T";
        });
    }

    bool mode_restored() const {
        termios mode{};
        tcgetattr(slave_, &mode);
        return same_mode(mode, initial_mode_);
    }

    int unread_input() const {
        int pending = 0;
        ioctl(slave_, FIONREAD, &pending);
        return pending;
    }

    pid_t pid() const { return job_; }
    const std::string& output() const { return output_; }

private:
    // Whether `holds()` comes true within kPatience, asked every 5 ms.
    template <class Holds>
    static bool eventually(const Holds& holds) {
        const auto deadline = std::chrono::steady_clock::now() + kPatience;
        while (!holds()) {
            if (std::chrono::steady_clock::now() > deadline) return false;
            std::this_thread::sleep_for(5ms);
        }
        return true;
    }

    int master_ = -1;
    int slave_ = -1;
    termios initial_mode_{};
    pid_t shell_ = -1;
    pid_t job_ = -1;
    std::string output_;
};

TEST(Terminal, KeyEndsTheWaitWithItsCode) {
    const struct {
        const char* name;
        std::string keys;
        int status;
    } cases[] = {
        {"letter", "q", 'q'},
        {"Enter", "\r", 13},
        {"Ctrl-C", "\x03", 3},
        {"cursor right with Ctrl", "\x1b[1;5C", 224},
        {"F1", "\x1bOP", 0},
        {"a-umlaut", "\xc3\xa4", 228},
        // Flow control and the literal-next key are keys here too.
        {"Ctrl-S", "\x13", 19},
        {"Ctrl-Q", "\x11", 17},
        {"Ctrl-V", "\x16", 22},
    };
    for (const auto& c : cases) {
        ProgramOnTerminal program;
        program.reach_key_wait();
        EXPECT_TRUE(program.keys_arrive_whole()) << c.name;
        program.type(c.keys);
        EXPECT_EQ(program.exit_status(), c.status) << c.name;
        program.read_output();
        // Nothing is echoed, the mode is as before and no byte is left over.
        EXPECT_EQ(program.output().substr(program.output().size() - kClosing.size()), kClosing)
            << c.name;
        EXPECT_TRUE(program.mode_restored()) << c.name;
        EXPECT_EQ(program.unread_input(), 0) << c.name;
    }
}

TEST(Terminal, DialogueLooksAsOnTheScreen) {
    ProgramOnTerminal program;
    program.reach_key_wait();
    program.type("x");
    EXPECT_EQ(program.exit_status(), 'x');
    EXPECT_EQ(program.output(),
              "Berechnung von Reihen\r\n\r\ns= \r\nGrenzwert=10^Zwischenergebnisse anzeigen:\r\n"
              "0=nein\r\n1=ja\r\n\r\n>> \r\n----------------------------\r\n\r\n"
              "Summe ~ 1.613190700328\r\n" +
                  kClosing);
}

TEST(Terminal, StopAndContinueFromOutside) {
    ProgramOnTerminal program;
    program.reach_key_wait();

    kill(program.pid(), SIGTSTP);
    EXPECT_TRUE(program.stopped());
    EXPECT_TRUE(program.mode_restored());

    kill(program.pid(), SIGCONT);
    EXPECT_TRUE(program.wait_for(true));

    program.type("y");
    EXPECT_EQ(program.exit_status(), 'y');
    EXPECT_TRUE(program.mode_restored());
}

TEST(Terminal, EndingSignalsRestoreTheModeAndEndTheProgram) {
    for (const int sig : {SIGTERM, SIGHUP, SIGQUIT, SIGINT}) {
        ProgramOnTerminal program;
        program.reach_key_wait();
        kill(program.pid(), sig);
        EXPECT_EQ(program.exit_status(), 128 + sig) << sig;
        EXPECT_TRUE(program.mode_restored()) << sig;
    }
}

TEST(Terminal, CtrlCEndsTheSummationNotTheProgram) {
    const struct {
        const char* entries;
        const char* shown_while_running;
    } cases[] = {
        {"-30 -1 0\n", "Summanden: "},  // runs for seconds
        {"1 -400 1\n", "Zwischensumme: 1.500000000000   Summand: 0.500000000000000\r\n"},
    };
    for (const auto& c : cases) {
        ProgramOnTerminal program({.entries = c.entries});
        program.read_output(c.shown_while_running);
        program.type("\x03");  // the terminal sends SIGINT
        program.reach_key_wait();
        program.type("k");
        EXPECT_EQ(program.exit_status(), 'k') << c.entries;
        const std::string& out = program.output();
        const auto result = out.find("\r\nSumme ~ ");
        ASSERT_NE(result, std::string::npos) << c.entries;
        EXPECT_LT(out.find(c.shown_while_running), result) << c.entries;
        EXPECT_LT(out.find(" Summanden abgebrochen.\r\n"), result) << c.entries;
        EXPECT_TRUE(program.mode_restored());
    }
}

// A key typed while the sum is computed, before the key wait, ends it.
TEST(Terminal, KeyTypedDuringTheRunCounts) {
    ProgramOnTerminal program({.entries = "-3 -1 0\n"});
    program.read_output("----------------------------\r\n");
    program.type("k");
    EXPECT_EQ(program.exit_status(), 'k');
    EXPECT_TRUE(program.mode_restored());
}

// The status line, in the lines written to the terminal from `from` on:
// each is written from the row's start and ends by erasing the rest.
std::vector<std::string> status_lines(const std::string& output, std::size_t from) {
    std::vector<std::string> lines;
    for (std::size_t at = output.find('\r', from); at != std::string::npos;
         at = output.find('\r', at + 1)) {
        const std::size_t end = output.find("\x1b[K", at);
        if (end != std::string::npos && output.find('\n', at) > end && end > at + 1) {
            lines.push_back(output.substr(at + 1, end - at - 1));
        }
    }
    return lines;
}

// The status line fits the terminal's width as it is at each refresh, and
// a terminal that knows no cursor control gets none.
TEST(Terminal, StatusLineFollowsTheTerminal) {
    {
        ProgramOnTerminal program({.entries = "-26 -1 0\n", .one_core = true});
        program.read_output("Summanden: ");
        program.resize(40);
        const std::size_t resized = program.output().size();
        // The next refreshes, a quarter of a second apart while the run
        // lasts seconds.
        const auto deadline = std::chrono::steady_clock::now() + kPatience;
        while (status_lines(program.output(), resized).size() < 2 &&
               program.output().find(kClosing) == std::string::npos &&
               std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(50ms);
            program.read_output();
        }
        const auto lines = status_lines(program.output(), resized);
        ASSERT_FALSE(lines.empty());
        // The first may have been written before the resize was seen.
        EXPECT_LE(lines.back().size(), 39U) << lines.back();
        program.type("\x03");
        program.reach_key_wait();
        program.type("x");
        EXPECT_EQ(program.exit_status(), 'x');
    }
    {
        ProgramOnTerminal program({.entries = "-26 -1 0\n", .term = "dumb", .one_core = true});
        program.read_output("----------------------------\r\n");
        // Past the time the first status line would show: where it would be
        // late on a busy machine, this test passes, it never fails.
        std::this_thread::sleep_for(2s);
        program.read_output();
        if (program.output().find(kClosing) == std::string::npos) program.type("\x03");
        program.reach_key_wait();
        program.type("x");
        EXPECT_EQ(program.exit_status(), 'x');
        EXPECT_EQ(program.output().find("Summanden: "), std::string::npos);
        EXPECT_EQ(program.output().find('\x1b'), std::string::npos);
    }
}

}  // namespace
