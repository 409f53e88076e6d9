#pragma once

#include <string>

// SIGTERM, SIGINT and SIGHUP end a run in order instead of killing it: the
// handler only notes the signal; the program's loop asks pending() and
// stops the scan, saves what was acquired and reports the run as failed.
// A second signal of the same kind ends the program at once (the handler is
// reset after the first), so a watchdog that insists still gets its way.
namespace TerminationSignals {

void install();
// The signal number noted, 0 when none.
int pending();
// "SIGTERM", "SIGINT", "SIGHUP" or "signal N".
std::string name(int signal);
// Forgets a noted signal and restores the default handlers (tests).
void reset();

} // namespace TerminationSignals
