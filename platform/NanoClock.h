#pragma once
// Nanoseconds from the performance counter, as an extended-precision value.
// The factor 1e9 / frequency is computed on the first call and kept.
long double nowNanoseconds();
// Millisecond tick count of the system clock (wraps at 2^32).
unsigned tickCount();
