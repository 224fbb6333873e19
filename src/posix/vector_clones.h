#pragma once
// Where functions are compiled once for each vector width: ELF platforms
// pick the best clone for the machine at load time.
#define REIHEN_VECTOR_CLONES __attribute__((target_clones("avx2", "default")))
