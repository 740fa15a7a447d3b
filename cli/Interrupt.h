#pragma once
// Ctrl-C: a flag the port threads look at between two exchanges, so that an
// exchange in flight always ends whole.

namespace cli {

void catchInterrupts();
bool interrupted();

} // namespace cli
