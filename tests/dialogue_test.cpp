#include "dialogue/dialogue.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>

namespace {

const std::string kHeader =
    "Berechnung von Reihen\n\ns= \nGrenzwert=10^Zwischenergebnisse anzeigen:\n"
    "0=nein\n1=ja\n\n>> \n----------------------------\n";

std::string footer(const std::string& sum) {
    return "\nSumme ~ " + sum + "\n============================\n\n";
}

struct Session {
    std::string output;
    std::string unread;
    int status;
    int key_waits;
};

Session run(const std::string& input, int key = 'x') {
    std::istringstream in(input);
    std::ostringstream out;
    std::ostringstream errors;
    int key_waits = 0;
    reihen::SummationMonitor quiet;
    const int status = reihen::run_dialogue(
        in, out, errors,
        [&] {
            ++key_waits;
            return key;
        },
        quiet);
    in.clear();
    std::string unread(std::istreambuf_iterator<char>(in), {});
    EXPECT_EQ(errors.str(), "");
    return {out.str(), unread, status, key_waits};
}

std::string report_lines(const std::string& output) {
    if (output.rfind(kHeader, 0) != 0) return "<no header>";
    const auto end = output.rfind("\nSumme ~ ");
    return output.substr(kHeader.size(), end - kHeader.size());
}

TEST(Dialogue, ResultWithoutReportLines) {
    struct Case {
        const char* input;
        const char* sum;
        const char* unread;
    };
    const Case cases[] = {
        {"2\n-3\n0\n", "1.613190700328", "\n"},
        {"2 -3 0 rest\n", "1.613190700328", " rest\n"},  // all on one line
        {"2\n-3\n2\n", "1.613190700328", "\n"},
        {"2\n-3\n-1\n", "1.613190700328", "\n"},
        {"2\n-8\n0\n", "1.644834061848", "\n"},
        {"\n\n  2\n\t-3 0", "1.613190700328", ""},  // empty lines are no entries
        {"0.5\n-2\n0\n", "198.534645449524", "\n"},
        {"x\n-3\n1\n", "0.000000000000", "x\n-3\n1\n"},     // unreadable s
        {"2e\n-3\n1\n", "0.000000000000", "\n-3\n1\n"},     // exponent without digits
        {"2\n1e999\n1\n", "0.000000000000", "\n1\n"},       // G overflows
        {"2,5\n-3\n1\n", "0.000000000000", ",5\n-3\n1\n"},  // decimal comma
        {"", "0.000000000000", ""},                         // end of input
        {"2\n0\n1\n", "0.000000000000", "\n"},              // G = 0: L = 1
        {"-2\n5\n1\n", "0.000000000000", "\n"},
        {"100\n-400\n0\n", "1.000000000000", "\n"},        // L = 0, pow overflows
        {"2\n-3\n99999999999\n", "1.613190700328", "\n"},  // switch out of range
    };
    for (const auto& c : cases) {
        const Session r = run(c.input);
        EXPECT_EQ(r.output, kHeader + footer(c.sum)) << c.input;
        EXPECT_EQ(r.unread, c.unread) << c.input;
        EXPECT_EQ(r.key_waits, 1) << c.input;
    }
}

TEST(Dialogue, ReportLines) {
    struct Case {
        const char* input;
        int lines;
        const char* last_line;
        const char* sum;
    };
    const Case cases[] = {
        {"2\n-3\n1\n", 31, "Zwischensumme: 1.613190700328   Summand: 0.001040582726327",
         "1.613190700328"},
        {"2 -3 1.5\n", 31, "Zwischensumme: 1.613190700328   Summand: 0.001040582726327",
         "1.613190700328"},
        {"3\n-4\n1\n", 21, "Zwischensumme: 1.200975821658   Summand: 0.000107979699816",
         "1.200975821658"},
        // 1 + 2^-13 lies halfway between two 12-decimal values: rounded up.
        {"13\n-4\n1\n", 2, "Zwischensumme: 1.000122070313   Summand: 0.000122070312500",
         "1.000122070313"},
        {"1\n-1.5\n1\n", 31, "Zwischensumme: 4.027245195437   Summand: 0.032258064516129",
         "4.027245195437"},
    };
    for (const auto& c : cases) {
        const Session r = run(c.input);
        const std::string lines = report_lines(r.output);
        EXPECT_EQ(std::count(lines.begin(), lines.end(), '\n'), c.lines) << c.input;
        EXPECT_EQ(lines.rfind("Zwischensumme: 1.000000000000   Summand: 1.000000000000000\n", 0),
                  0U)
            << c.input;
        EXPECT_EQ(lines.substr(lines.rfind('\n', lines.size() - 2) + 1),
                  std::string(c.last_line) + "\n")
            << c.input;
        EXPECT_EQ(r.output.substr(r.output.size() - footer(c.sum).size()), footer(c.sum));
    }
    EXPECT_NE(run("2\n-3\n1\n")
                  .output.find("\nZwischensumme: 1.250000000000   Summand: 0.250000000000000\n"),
              std::string::npos);
}

TEST(Dialogue, ReturnsTheKeyCode) {
    for (const int key : {int{'x'}, 13, 3, 0, 224, 228, -1}) {
        EXPECT_EQ(run("2 -3 0\n", key).status, key) << key;
    }
}

// Output that cannot be written is said once on the error stream; the
// dialogue goes on to the key wait, whose code stays the result.
TEST(Dialogue, OutputThatCannotBeWrittenIsSaidOnce) {
    for (const char* input : {"2 -3 0\n", "2 -3 1\n", ""}) {
        std::istringstream in(input);
        std::ostream lost(nullptr);  // every write fails
        std::ostringstream errors;
        int key_waits = 0;
        reihen::SummationMonitor quiet;
        const int status = reihen::run_dialogue(
            in, lost, errors,
            [&] {
                ++key_waits;
                return 'q';
            },
            quiet);
        EXPECT_EQ(errors.str(), "Die Ausgabe konnte nicht geschrieben werden.\n") << input;
        EXPECT_EQ(status, 'q');
        EXPECT_EQ(key_waits, 1);
    }
}

}  // namespace
