// Playing a scenario: the plug-in loaded beside the stand-in host, the steps, the frames and the
// expectations, told in the session's account.
#pragma once

#include <string>
#include <vector>

#include "tools/runner/scenario.h"

// Says on stderr why the session cannot run; returns the status for that, 2.
int refuse(const std::string& why);

// Loads the plug-in at `plugin` (`shown` is how messages name it), plays the steps in the current
// directory and unloads it, printing the account: with a line for every frame and every
// expectation met when `verbose`, and the notices' colour markup as terminal colours when `colour`
// (otherwise it is dropped). A step that cannot be carried out stops the session; its message
// names `scenario`. Returns the exit status: 0 all met, 1 an expectation failed or the plug-in
// disagreed with the settings in effect, 2 the session could not run.
int playSession(const std::string& plugin, const std::string& shown, const std::string& scenario,
                const std::vector<Step>& steps, bool verbose, bool colour);
