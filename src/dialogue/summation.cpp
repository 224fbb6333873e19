#include "dialogue/summation.h"

#include <cmath>
#include <cstdint>
#include <ostream>
#include <string>

#include "cores/usable_cores.h"
#include "fast_summation.h"
#include "numbers/number_writing.h"
#include "series.h"

namespace reihen {
namespace {

// `line` is only a buffer, kept from one line to the next.
void write_report_line(std::ostream& out, std::string& line, double sum, double term) {
    line = "Zwischensumme: ";
    append_fixed(line, sum, 12);
    line += "   Summand: ";
    append_fixed(line, term, 15);
    line += '\n';
    out.write(line.data(), static_cast<std::streamsize>(line.size()));
    out.flush();
}

double sum_series_reported(double s, double limit, std::ostream& out, SummationMonitor& monitor) {
    std::uint64_t terms = 0;
    std::string line;
    if (monitor.stop_requested()) {
        monitor.stopped(terms);
        return 0.0;
    }
    return plain_loop(s, limit, [&](double sum, double term) {
        ++terms;
        write_report_line(out, line, sum, term);
        if (std::isinf(sum)) return false;
        if (!monitor.stop_requested()) return true;
        monitor.stopped(terms);
        return false;
    });
}

}  // namespace

double sum_series(double s, double limit, int report, std::ostream& out,
                  SummationMonitor& monitor) {
    if (report == 1) return sum_series_reported(s, limit, out, monitor);
    // One thread for each core the process may use.
    FastSummationSettings settings;
    settings.threads = usable_cores();
    return sum_series_fast(s, limit, monitor, settings);
}

}  // namespace reihen
