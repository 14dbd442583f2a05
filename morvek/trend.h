// The Cox-Lewis test of a constant occurrence rate against a monotonic
// trend.
#pragma once

#include "morvek/console.h"
#include "morvek/state.h"

namespace morvek {

// The complementary error function, with a fractional error below 1.2e-7.
double erfcc_s(double x);

// The statistic u and its one-sided P-value p of class `cls`, from
// its real events. A class without events has no statistic: both are NaN.
void test(State& s, std::size_t cls);


// Shows the test result of class `cls` and waits for Enter.
void info4(const State& s, Console& console, std::size_t cls);

}  // namespace morvek
