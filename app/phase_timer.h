// Phase marks of one compile run, for measuring where its time goes.
// When the environment variable VEILBOX_TRACE_TIMINGS names a file, each
// mark appends one line to it: the label, a blank, and the time of the
// steady clock in nanoseconds (CLOCK_MONOTONIC on Linux, the performance
// counter on Windows). Without the variable a mark does nothing. Failures
// to write are ignored: the marks never change the run.
#pragma once

namespace veilbox {

inline constexpr char kTraceTimingsVariable[] = "VEILBOX_TRACE_TIMINGS";

// The labels the compile run marks, in the order it reaches them.
inline constexpr char kPhaseCollectBegin[] = "collect-begin";
inline constexpr char kPhaseCollectEnd[] = "collect-end";
inline constexpr char kPhaseDecryptBegin[] = "decrypt-begin";
inline constexpr char kPhaseDecryptEnd[] = "decrypt-end";
inline constexpr char kPhaseCompileBegin[] = "compile-begin";
inline constexpr char kPhaseCompileEnd[] = "compile-end";
inline constexpr char kPhaseCleanupBegin[] = "cleanup-begin";
inline constexpr char kPhaseCleanupEnd[] = "cleanup-end";

void MarkPhase(const char* label);

}  // namespace veilbox
