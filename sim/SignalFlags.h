#pragma once
// SIGTERM, SIGINT and SIGUSR1 only set flags; the serving loop acts on them
// between requests, where writing files is safe.

namespace sim {

void installSignalHandlers();
bool stopRequested();
// True once per SIGUSR1 (several signals before the check count as one).
bool takeDumpRequest();

} // namespace sim
