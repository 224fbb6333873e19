// A piece of a block on one thread: its indices classified into certain
// units and terms to be added in order.
#pragma once

#include "kernel_context.h"
#include "lanes.h"
#include "slice.h"

namespace reihen::engine {

// Classifies the slice's indices into certain units and uncertain terms
// under the context's rules, the units added up exactly (P1), by the
// kernels of one vector width, all of them compiled for it.
void scan_slice(Slice& slice, const KernelContext& context, Width width);

}  // namespace reihen::engine
