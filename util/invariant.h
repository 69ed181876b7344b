#pragma once
// Invariant checks of Debug builds, where states move (a statement's state, an XA branch): a
// broken one logs where it broke and ends the process, as an assertion does, so the test that
// broke it stops at the fault rather than at its consequences. Release builds (NDEBUG) check
// nothing. The library never writes to the application's stdout or stderr: the message goes to
// the log's channels (the debug trace, when one is open).

[[noreturn]] void TvInvariantFailed(const char* what, const char* file, int line);

#ifdef NDEBUG
#define TV_INVARIANT(cond) static_cast<void>(sizeof((cond) ? 1 : 0))  // names stay used, nothing runs
#else
#define TV_INVARIANT(cond) ((cond) ? static_cast<void>(0) : TvInvariantFailed(#cond, __FILE__, __LINE__))
#endif
