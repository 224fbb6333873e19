#include "slice.h"

#include <array>
#include <cstdint>
#include <cstring>

#include "lanes.h"
#include "power.h"

namespace reihen::engine {

void end_slice(Slice& slice, std::size_t i, double units, Verdict verdict) {
    ScanResult& result = slice.result;
    if (result.cut) return;
    result.end = verdict == Verdict::kSettled ? SliceEnd::kSettled : SliceEnd::kBelowLimit;
    result.length = i;
    result.units = units;
}

namespace {

// Lists a term to be added in order, with `before` the units before it;
// whether the sum's unit count is even after it is known where it is a tie
// within the binade. False where the slice is cut short, there or before.
bool list_term(Slice& slice, std::size_t i, double term, double before, bool tie_with_parity) {
    ScanResult& result = slice.result;
    if (result.cut) return false;
    if (result.uncertain.size() >= slice.most_uncertain) {
        result.cut = true;
        result.length = i;
        result.units = before;
        return false;
    }
    result.uncertain.push_back({static_cast<std::uint32_t>(i), before, term});
    slice.parity_known = tie_with_parity;
    return true;
}

// What a computed term's rounding does, bit by bit.
constexpr std::uint32_t kKnownUnits = 1;   // its units are known, but for a tie's parity
constexpr std::uint32_t kTie = 2;          // y = k + 1/2 exactly
constexpr std::uint32_t kInBinade = 4;     // y < 2^51: a tie depends on the parity alone
constexpr std::uint32_t kOddUnits = 8;     // q is odd
constexpr std::uint32_t kOddBefore = 16;   // the units the kernel knew before it are odd
constexpr std::uint32_t kRoundsDown = 32;  // y < q: a tie's odd neighbour lies below q

using LaneBits = long long;  // a flag in every lane whose mask is set

// Divides the terms put off four at a time, the column holding pow's
// results before and the terms after, and classifies them: their units q, y
// rounded to the nearest whole number, ties to even (y < 2^51), and what
// their rounding does. Lanes past the last term take what the columns hold
// there. Its products are exact, so that a fused step rounds as the two
// would (P8).
REIHEN_KERNEL_BODY void classify_terms(PutOffTerms& terms, std::size_t count, const Rules& rules,
                                       double* units, std::uint8_t* kinds) {
    // y < top tells both that the sum has a unit and that y < 2^51.
    const double top = rules.scale != 0.0 ? kTwo51 : -1.0;
    // Where the terms never grow, a term below half a unit does not end a
    // run by itself (P5).
    const double least_units = rules.never_grow ? 1.0 : 0.0;
    for (std::size_t i = 0; i < count; i += kLanes) {
        Vec powers;
        Vec before;
        std::memcpy(&powers, &terms.term[i], sizeof powers);
        const Vec term = 1.0 / powers;
        std::memcpy(&terms.term[i], &term, sizeof term);
        std::memcpy(&before, &terms.units_before[i], sizeof before);
        // Exact, as the scale is a power of two, except where y is
        // subnormal: then q is 0 and there is no tie.
        const Vec y = term * rules.scale;
        const Vec q = round_to_whole(y);
        const Vec off = y - q;
        const Mask in_binade = y < top;
        const Mask known = (term > rules.limit) & in_binade & (q >= least_units);
        // Whole numbers below 2^53 are odd where they differ from twice
        // their half rounded to a whole number.
        const Vec half_q = round_to_whole(q * 0.5);
        const Vec half_before = round_to_whole(before * 0.5);
        const Mask tie = magnitude(off) == 0.5;
        const Mask odd_units = q != half_q + half_q;
        const Mask odd_before = before != half_before + half_before;
        const Mask rounds_down = off < 0.0;
        const Mask kind = (known & LaneBits{kKnownUnits}) | (tie & LaneBits{kTie}) |
                          (in_binade & LaneBits{kInBinade}) | (odd_units & LaneBits{kOddUnits}) |
                          (odd_before & LaneBits{kOddBefore}) |
                          (rounds_down & LaneBits{kRoundsDown});
        std::memcpy(&units[i], &q, sizeof q);
        for (std::size_t lane = 0; lane < kLanes; ++lane) {
            kinds[i + lane] = static_cast<std::uint8_t>(kind[lane]);
        }
    }
}

// A computed term's units are known where it lies above the limit and is
// no tie, and a tie's where the parity of the sum's unit count is known
// within the slice; any other term is listed, to be added in order (P7).
// Below, `counted` holds each term's q, a tie's too, and `corrections` the
// +-1 of the ties rounded to their odd neighbour; of the units since the
// last tie only parities are kept.
REIHEN_KERNEL_BODY void take_in_order(Slice& slice, const KernelContext& context, double& units) {
    const Rules& rules = context.rules;
    PutOffTerms& terms = slice.put_off;
    const std::size_t count = terms.count;
    terms.count = 0;
    for (std::size_t i = 0; i < count; ++i) {
        terms.term[i] = power(slice.n0 + static_cast<double>(terms.position[i]), context.s);
    }
    alignas(32) std::array<double, kMostPutOff> term_units;
    alignas(32) std::array<std::uint8_t, kMostPutOff> kinds;
    classify_terms(terms, count, rules, term_units.data(), kinds.data());
    // A term is listed where its units are not known, or where it is a tie
    // while the parity is unknown.
    const auto known_by = [&slice] {
        return slice.parity_known ? kKnownUnits : kKnownUnits | kTie;
    };
    std::uint32_t knowing = known_by();
    double counted = 0.0;
    std::int64_t corrections = 0;
    std::uint32_t counted_parity = 0;
    std::uint32_t even_parity = slice.even_parity;
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint32_t kind = kinds[i];
        const std::uint32_t before_parity = ((kind / kOddBefore) ^ counted_parity) & 1U;
        if ((kind & knowing) != kKnownUnits) {
            const double before = terms.units_before[i] + counted;
            const bool tie = (kind & (kTie | kInBinade)) == (kTie | kInBinade);
            if (!list_term(slice, terms.position[i], terms.term[i],
                           before + static_cast<double>(corrections), tie)) {
                return;
            }
            knowing = known_by();
            even_parity = before_parity;
            continue;
        }
        // No branch on whether it is a tie or on the parity: either is a
        // coin toss to the branch predictor.
        const std::uint32_t tie = (kind / kTie) & 1U;
        const std::uint32_t odd = (before_parity ^ even_parity) & tie;
        const std::uint32_t down = (kind / kRoundsDown) & 1U;
        corrections += static_cast<std::int64_t>(odd) - 2 * static_cast<std::int64_t>(odd & down);
        // A tie's q is even: m is even again after it (P7).
        even_parity = tie != 0 ? before_parity : even_parity;
        counted_parity ^= (kind / kOddUnits) & 1U;
        counted += term_units[i];
    }
    slice.even_parity = (even_parity ^ static_cast<std::uint32_t>(corrections)) & 1U;
    units += counted + static_cast<double>(corrections);
}

}  // namespace

template <>
REIHEN_WIDE_VECTORS void compute_put_off<Width::kWide>(Slice& slice, const KernelContext& context,
                                                       double& units) {
    take_in_order(slice, context, units);
}

template <>
void compute_put_off<Width::kBaseline>(Slice& slice, const KernelContext& context, double& units) {
    take_in_order(slice, context, units);
}

}  // namespace reihen::engine
