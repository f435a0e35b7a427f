// Marks a function of a fuzz driver that libFuzzer's coverage instrumentation
// leaves out: the drivers' own per-sample loops (filling input, checking
// output) do the same for every input, so their comparisons say nothing about
// the plug-in, and traced they cost more than the plug-in's own work. The
// sanitizers still check them.
#pragma once

#define DUV_FUZZ_NO_COVERAGE __attribute__((no_sanitize("coverage")))
