// Playing a scenario: the plug-in loaded beside the stand-in host, the steps, the frames and the
// expectations, told in the session's account.
#pragma once

#include <string>
#include <vector>

#include "tools/runner/scenario.h"

// Says on stderr why the session cannot run; returns the status for that, 2.
int refuse(const std::string& why);
// Gives the status to the caller's status file (main.cpp), when it named one.
void reportStatus(int status);
// For Ctrl-C: the session ends at the next step or frame, with status 130.
void interruptSession();
std::string utf8(const std::wstring& text);

// Loads the plug-in at `plugin`, plays the steps in the current directory and unloads it,
// printing the account: with a line for every frame and every expectation met when `verbose`,
// and the notices' colour markup as terminal colours when `colour` (otherwise it is dropped). A
// step that cannot be carried out stops the session. Returns the exit status: 0 all met, 1 an
// expectation failed or the plug-in disagreed with the settings in effect, 2 the session could
// not run, 130 interrupted.
int playSession(const std::wstring& plugin, const std::vector<Step>& steps, bool verbose,
                bool colour);
