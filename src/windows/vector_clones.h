#pragma once
// Windows executables have no load-time choice of clones: one build for the
// baseline every x86-64 processor has.
#define REIHEN_VECTOR_CLONES
