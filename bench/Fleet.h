#pragma once
// A fleet: alarmcfg-cli read on several simulated controllers at once, each
// behind a network port of its own (alarmcfg-sim --tcp --baud 9600), against
// the same read on one.

// Prints the table for 1, 8 and 32 controllers; false when a run did not succeed.
bool measureFleet();
