#include "series.h"

#include "power.h"

namespace reihen {

double series_term(double n, double s) { return 1.0 / power(n, s); }

double sum_series_plain(double s, double limit) {
    return plain_loop(s, limit, [](double, double) { return true; });
}

}  // namespace reihen
