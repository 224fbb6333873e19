#include "dialogue.h"

#include <cmath>
#include <istream>
#include <ostream>

#include "number_text.h"
#include "summation.h"

namespace reihen {
namespace {

// Every line ends with a new-line and a flush, so nothing waits in a buffer.
void end_line(std::ostream& out) { out << std::endl; }

void write_line(std::ostream& out, const char* text) {
    out << text;
    end_line(out);
}

// A prompt stays on its line and is on the screen before input is awaited.
void prompt(std::ostream& out, const char* text) { out << text << std::flush; }

}  // namespace

int run_dialogue(std::istream& in, std::ostream& out, const KeySource& wait_for_key,
                 SummationMonitor& monitor) {
    double s = 0.0;
    double limit_exponent = 0.0;
    int report = 0;

    write_line(out, "Berechnung von Reihen");
    end_line(out);
    prompt(out, "s= ");
    read_real(in, s);
    end_line(out);
    prompt(out, "Grenzwert=10^");
    read_real(in, limit_exponent);
    const double limit = std::pow(10.0, limit_exponent);
    write_line(out, "Zwischenergebnisse anzeigen:");
    write_line(out, "0=nein");
    write_line(out, "1=ja");
    end_line(out);
    prompt(out, ">> ");
    read_int(in, report);
    end_line(out);
    // Begun before the rule line, so that once it is on the screen Ctrl-C
    // ends the summation, not the program.
    monitor.begin();
    write_line(out, "----------------------------");

    const double sum = sum_series(s, limit, report, out, monitor);
    monitor.end();

    end_line(out);
    out << "Summe ~ " << format_fixed(sum, 12);
    end_line(out);
    write_line(out, "============================");
    end_line(out);

    return wait_for_key();
}

}  // namespace reihen
