#include "summation.h"

#include "fast_summation.h"

namespace reihen {

double sum_series(double s, double limit, int report, std::ostream& out,
                  SummationMonitor& monitor) {
    if (report == 1) return sum_series_reported(s, limit, out, monitor);
    return sum_series_fast(s, limit, monitor);
}

}  // namespace reihen
