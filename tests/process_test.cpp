// Runs the built program without a controlling terminal, as a script would,
// with standard input and output in every state they can be handed over in.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <functional>
#include <string>
#include <thread>

namespace {

enum class Stream { kPipe, kClosed, kDevFull, kReadThenClose };

struct Outcome {
    int exit_status = -1;  // -1 when ended by a signal
    int signal = 0;
    std::string output;
    std::string errors;  // standard error
    long max_resident_kb = 0;
};

// How the program is interrupted, if at all: SIGINT once the output holds
// `shown`, to a program that ignores it where `ignored` (as a background
// job does).
struct Interrupt {
    const char* shown = nullptr;
    bool ignored = false;
};

// Feeds `write_input` through a pipe (or leaves standard input closed) and
// collects standard output.
Outcome run(const std::function<void(int fd)>& write_input, Stream in_mode, Stream out_mode,
            const Interrupt& interrupt = {}) {
    int input[2];
    int output[2];
    int errors[2];
    EXPECT_EQ(pipe(input), 0);
    EXPECT_EQ(pipe(output), 0);
    EXPECT_EQ(pipe(errors), 0);
    const pid_t pid = fork();
    if (pid == 0) {
        setsid();  // no controlling terminal
        if (in_mode == Stream::kClosed) {
            close(STDIN_FILENO);
        } else {
            dup2(input[0], STDIN_FILENO);
        }
        if (out_mode == Stream::kClosed) {
            close(STDOUT_FILENO);
        } else if (out_mode == Stream::kDevFull) {
            dup2(open("/dev/full", O_WRONLY), STDOUT_FILENO);
        } else {
            dup2(output[1], STDOUT_FILENO);
        }
        dup2(errors[1], STDERR_FILENO);
        signal(SIGPIPE, SIG_DFL);
        signal(SIGINT, interrupt.ignored ? SIG_IGN : SIG_DFL);
        closefrom(STDERR_FILENO + 1);
        execl(REIHEN_BINARY, REIHEN_BINARY, nullptr);
        _exit(127);
    }
    close(input[0]);
    close(output[1]);
    close(errors[1]);
    std::thread feeder([&] {
        signal(SIGPIPE, SIG_IGN);  // the program may stop reading early
        write_input(input[1]);
        close(input[1]);
    });
    Outcome outcome;
    char buffer[65536];
    bool interrupted = false;
    for (ssize_t got; (got = read(output[0], buffer, sizeof buffer)) > 0;) {
        outcome.output.append(buffer, static_cast<std::size_t>(got));
        if (out_mode == Stream::kReadThenClose && outcome.output.size() > 100000) break;
        if (interrupt.shown != nullptr && !interrupted &&
            outcome.output.find(interrupt.shown) != std::string::npos) {
            kill(pid, SIGINT);
            interrupted = true;
        }
    }
    close(output[0]);
    for (ssize_t got; (got = read(errors[0], buffer, sizeof buffer)) > 0;) {
        outcome.errors.append(buffer, static_cast<std::size_t>(got));
    }
    close(errors[0]);
    int status = 0;
    rusage usage{};
    EXPECT_EQ(wait4(pid, &status, 0, &usage), pid);
    feeder.join();
    if (WIFEXITED(status)) outcome.exit_status = WEXITSTATUS(status);
    if (WIFSIGNALED(status)) outcome.signal = WTERMSIG(status);
    outcome.max_resident_kb = usage.ru_maxrss;
    return outcome;
}

std::function<void(int)> text(std::string bytes) {
    return [bytes = std::move(bytes)](int fd) {
        for (std::size_t done = 0; done < bytes.size();) {
            const ssize_t written = write(fd, bytes.data() + done, bytes.size() - done);
            if (written <= 0) return;
            done += static_cast<std::size_t>(written);
        }
    };
}

// `count` copies of `fill` between `before` and `after`, written in pieces.
std::function<void(int)> long_text(const std::string& before, char fill, std::size_t count,
                                   const std::string& after) {
    return [=](int fd) {
        text(before)(fd);
        const std::string piece(1 << 16, fill);
        for (std::size_t done = 0; done < count; done += piece.size()) {
            const std::size_t length = std::min(piece.size(), count - done);
            if (write(fd, piece.data(), length) != static_cast<ssize_t>(length)) return;
        }
        text(after)(fd);
    };
}

const std::string kHeader =
    "Berechnung von Reihen\n\ns= \nGrenzwert=10^Zwischenergebnisse anzeigen:\n"
    "0=nein\n1=ja\n\n>> \n----------------------------\n";

std::string closing(const std::string& sum) {
    return "\nSumme ~ " + sum + "\n============================\n\n";
}

TEST(Process, WithoutTerminalTheWaitEndsAtOnceWith255) {
    const Outcome outcome = run(text("13 -4 1\n"), Stream::kPipe, Stream::kPipe);
    EXPECT_EQ(outcome.exit_status, 255);
    EXPECT_EQ(outcome.output, kHeader +
                                  "Zwischensumme: 1.000000000000   Summand: 1.000000000000000\n"
                                  "Zwischensumme: 1.000122070313   Summand: 0.000122070312500\n" +
                                  closing("1.000122070313"));
}

// Whole runs that no plain loop finishes, dialogue in and result line out:
// the values the summation tests check the engine against.
TEST(Process, WholeRunsWriteTheirKnownSums) {
    const struct {
        const char* entries;
        const char* sum;
    } cases[] = {
        {"1 -400 0\n", "34.122035668048"},
        {"0 -400 0\n", "9007199254740992.000000000000"},
        {"-1 -400 0\n", "81129638414606682000000000000000.000000000000"},
    };
    for (const auto& c : cases) {
        const Outcome outcome = run(text(c.entries), Stream::kPipe, Stream::kPipe);
        EXPECT_EQ(outcome.output, kHeader + closing(c.sum)) << c.entries;
    }
}

TEST(Process, AnyInputIsReadInBoundedMemory) {
    const struct {
        const char* name;
        std::function<void(int)> input;
        const char* sum;
    } cases[] = {
        {"100 MB of digits overflow", long_text("", '1', 100'000'000, " -3 0\n"), "0.000000000000"},
        {"100 MB of blanks first", long_text("", ' ', 100'000'000, "2 -3 0\n"), "1.613190700328"},
        {"a value rounded from 10 MB of digits", long_text("2.", '0', 10'000'000, "1 -3 0\n"),
         "1.613190700328"},
        {"a million exponent digits", long_text("1e", '9', 1'000'000, " -3 0\n"), "0.000000000000"},
        {"a million negative exponent digits", long_text("2 -3e-", '9', 1'000'000, " 0\n"),
         "0.000000000000"},
        {"CR LF line ends, no final new-line", text("2\r\n-3\r\n0"), "1.613190700328"},
        {"a NUL byte", text(std::string("2\0 -3 0\n", 8)), "0.000000000000"},
        {"invalid UTF-8 and control bytes", text("\xff\xfe\x01 2 -3 0\n"), "0.000000000000"},
    };
    for (const auto& c : cases) {
        const Outcome outcome = run(c.input, Stream::kPipe, Stream::kPipe);
        EXPECT_EQ(outcome.exit_status, 255) << c.name;
        EXPECT_EQ(outcome.output, kHeader + closing(c.sum)) << c.name;
        EXPECT_LT(outcome.max_resident_kb, 32 * 1024) << c.name;
    }
}

TEST(Process, ClosedOrFailingStreamsEndNormally) {
    const struct {
        const char* name;
        Stream in;
        Stream out;
    } cases[] = {
        {"standard input closed", Stream::kClosed, Stream::kPipe},
        {"standard output closed", Stream::kPipe, Stream::kClosed},
        {"standard output on a full disk", Stream::kPipe, Stream::kDevFull},
    };
    for (const auto& c : cases) {
        const Outcome outcome = run(text("2 -3 1\n"), c.in, c.out);
        EXPECT_EQ(outcome.exit_status, 255) << c.name;
        if (c.out == Stream::kPipe) {
            EXPECT_EQ(outcome.output, kHeader + closing("0.000000000000")) << c.name;
            EXPECT_EQ(outcome.errors, "") << c.name;
        } else {
            EXPECT_EQ(outcome.errors, "Die Ausgabe konnte nicht geschrieben werden.\n") << c.name;
        }
    }
}

// SIGINT once the summation has begun (the rule line is out): it ends the
// summation with the sum reached so far and says so on standard error.
// Where SIGINT is ignored it stays ignored, and the run goes to its end:
// 99999 report lines, of which the program can write only a pipe's worth
// before the test has read the first, so that the signal meets the run.
TEST(Process, InterruptEndsTheSummationUnlessIgnored) {
    const std::string rule = "----------------------------\n";
    {
        const Outcome outcome =
            run(text("-30 -1 0\n"), Stream::kPipe, Stream::kPipe, {.shown = rule.c_str()});
        EXPECT_EQ(outcome.exit_status, 255);
        EXPECT_EQ(outcome.output.rfind(kHeader + "\nSumme ~ ", 0), 0U);
        EXPECT_TRUE(outcome.output.ends_with("\n============================\n\n"));
        EXPECT_NE(outcome.output, kHeader + closing("inf"));
        EXPECT_TRUE(outcome.errors.starts_with("Summation nach ")) << outcome.errors;
        EXPECT_TRUE(outcome.errors.ends_with(" Summanden abgebrochen.\n")) << outcome.errors;
    }
    {
        const Outcome outcome = run(text("1 -5 1\n"), Stream::kPipe, Stream::kPipe,
                                    {.shown = "Zwischensumme: ", .ignored = true});
        EXPECT_EQ(outcome.exit_status, 255);
        EXPECT_EQ(std::count(outcome.output.begin(), outcome.output.end(), '\n'),
                  std::count(kHeader.begin(), kHeader.end(), '\n') + 99'999 + 4);
        EXPECT_TRUE(
            outcome.output.ends_with("\nSumme ~ 12.090136129863\n"
                                     "============================\n\n"));
        EXPECT_EQ(outcome.errors, "");
    }
}

TEST(Process, BrokenPipeEndsTheProgramLikeAnyFilter) {
    const Outcome outcome = run(text("1 -400 1\n"), Stream::kPipe, Stream::kReadThenClose);
    EXPECT_EQ(outcome.signal, SIGPIPE);
}

}  // namespace
