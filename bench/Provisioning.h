#pragma once
// Parallel provisioning: alarmcfg-cli writing and verifying one file on one
// simulated controller, then on several at once, at 9600 baud.

// Prints the row; false when a run did not succeed.
bool measureProvisioning();
