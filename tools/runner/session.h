// Playing a scenario against the loaded plug-in: its steps, the frames, and the expectations,
// told in the session's account.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tools/runner/scenario.h"

struct SessionResult {
  int failed;           // expectations not met
  int disagreements;    // times the plug-in did other than the settings in effect mean
  std::string mistake;  // a step that could not be carried out, naming its line; "" if none
};

// What the host saw from host-event index `from` on, as a line of the account.
void tellRegistrations(const char* moment, int32_t from);

// Plays the steps in the current directory against the plug-in, which is loaded (attached) but
// whose script has not run yet, and prints the account: with a line for every frame and every
// expectation met when `verbose`, and the notices' colour markup as terminal colours when `colour`
// (otherwise it is dropped). Stops at the first step that cannot be carried out.
SessionResult playScenario(const std::vector<Step>& steps, bool verbose, bool colour);
