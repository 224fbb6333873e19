// The terms of s = -1, which are the indices themselves: where a unit of
// the sum spans two indices or more, the rounding of every index's term is
// known from the index alone, but for the ties halfway between.
#pragma once

#include "kernel_context.h"
#include "slice.h"

namespace reihen::engine {

// Whether classify_linear_terms serves the slice in this context.
bool linear_terms_apply(const Slice& slice, const KernelContext& context);

// Classifies the slice's indices into certain units, added to `units`, and
// terms put off, for s = -1 where linear_terms_apply holds.
void classify_linear_terms(Slice& slice, const KernelContext& context, double& units);

}  // namespace reihen::engine
