#include "dialogue/dialogue.h"

#include <istream>
#include <ostream>

#include "dialogue/summation.h"
#include "numbers/number_reading.h"
#include "numbers/number_writing.h"
#include "power.h"

namespace reihen {
namespace {

// Standard output as the dialogue writes it: every line ends with a new-line
// and a flush, so nothing waits in a buffer, and a prompt stays on its line
// and is on the screen before input is awaited. Where the output cannot be
// written (a full disk, a closed stream), one line on standard error says
// so, and the dialogue goes on all the same.
class Output {
public:
    Output(std::ostream& out, std::ostream& errors) : out_(out), errors_(errors) {}

    std::ostream& stream() { return out_; }

    void end_line() {
        out_ << std::endl;
        say_if_lost();
    }

    void line(const char* text) {
        out_ << text;
        end_line();
    }

    void prompt(const char* text) {
        out_ << text << std::flush;
        say_if_lost();
    }

    void say_if_lost() {
        if (out_ || said_) return;
        errors_ << "Die Ausgabe konnte nicht geschrieben werden." << std::endl;
        said_ = true;
    }

private:
    std::ostream& out_;
    std::ostream& errors_;
    bool said_ = false;
};

}  // namespace

int run_dialogue(std::istream& in, std::ostream& out, std::ostream& errors,
                 const KeySource& wait_for_key, SummationMonitor& monitor) {
    Output output(out, errors);
    double s = 0.0;
    double limit_exponent = 0.0;
    int report = 0;

    output.line("Berechnung von Reihen");
    output.end_line();
    output.prompt("s= ");
    read_real(in, s);
    output.end_line();
    output.prompt("Grenzwert=10^");
    read_real(in, limit_exponent);
    const double limit = power(10.0, limit_exponent);
    output.line("Zwischenergebnisse anzeigen:");
    output.line("0=nein");
    output.line("1=ja");
    output.end_line();
    output.prompt(">> ");
    read_int(in, report);
    output.end_line();
    // Begun before the rule line, so that once it is on the screen Ctrl-C
    // ends the summation, not the program.
    monitor.begin();
    output.line("----------------------------");

    const double sum = sum_series(s, limit, report, out, monitor);
    monitor.end();
    output.say_if_lost();

    output.end_line();
    output.stream() << "Summe ~ " << format_fixed(sum, 12);
    output.end_line();
    output.line("============================");
    output.end_line();

    return wait_for_key();
}

}  // namespace reihen
