#include "WriteFailures.h"

namespace cli {

// Windows sends no signal for either: a write to a closed pipe already fails.
void letWritesFailInsteadOfSignals() {}

} // namespace cli
