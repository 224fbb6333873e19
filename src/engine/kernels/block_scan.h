// A piece of a block on one thread: its indices classified into certain
// units and terms to be added in order.
#pragma once

#include "kernel_context.h"
#include "slice.h"

namespace reihen::engine {

// Classifies the slice's indices into certain units and uncertain terms
// under the context's rules, the units added up exactly (P1). The kernels'
// vector width is chosen here, once for the slice.
void scan_slice(Slice& slice, const KernelContext& context);

}  // namespace reihen::engine
