// Random numbers: every thread draws from its own generator, so no lock is
// needed and two threads never share (or repeat) a sequence.
#pragma once

#include <random>
#include <string>
#include <vector>

// The calling thread's generator, seeded once per thread with one 32-bit
// value from the system's random device before its first use.
extern thread_local std::mt19937 g_rng;

// v plus or minus p percent of v (sign from one draw); v itself when p is not
// above 0. Draws one number on every call.
double gf_randomPercentAround(double v, double p);
// Puts the list in a random order in place; 0 or 1 entries draw nothing.
void gf_shuffle(std::vector<std::string>& list);
