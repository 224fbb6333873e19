#include "run_parameters.h"

namespace reihen::engine {

RunParameters::RunParameters(double s, double limit, const FastSummationSettings& settings)
    : s(s),
      rules{.scale = 0.0,
            .limit = limit,
            .margin = settings.margin,
            .never_grow = s >= 0.0,
            .shortest_stretch = settings.shortest_stretch},
      stretches_per_anchor(settings.stretches_per_anchor),
      threads(settings.threads),
      threads_on_demand(settings.threads_on_demand),
      most_uncertain(settings.most_uncertain),
      width(settings.wide_vectors && wide_vectors_available() ? Width::kWide : Width::kBaseline),
      coefficients(binomial_coefficients(s)),
      inverse_series(binomial_coefficients(1.0 / s)) {}

}  // namespace reihen::engine
