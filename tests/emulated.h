// Whether the tests run under an emulator of another processor, tens to
// hundreds of times slower: the longest differential tests then take a
// smaller set of cases, chosen so that each rare path is still reached.
#pragma once

#ifndef REIHEN_EMULATED
#define REIHEN_EMULATED 0
#endif

inline constexpr bool kEmulated = REIHEN_EMULATED != 0;
