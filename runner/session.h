// Playing a scenario against the loaded plug-in and telling what happened.
#pragma once

#include <string>
#include <vector>

#include "runner/scenario.h"

struct SessionOptions {
  bool verbose;  // a line for every frame
  bool colour;   // render the game's colour markup as terminal colours
};

// Plays the steps in the current directory against the plug-in, which is loaded (attached) but
// whose script has not run yet, and prints the account. Returns the number of failed
// expectations.
int playScenario(const std::vector<Step>& steps, const SessionOptions& options);

// Reads a whole file as bytes; false when it cannot be opened.
bool readFileBytes(const char* path, std::string* bytes);
