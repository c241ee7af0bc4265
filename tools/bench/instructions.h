// Instruction counts of each case under callgrind: stable figures where times are noisy.
#pragma once

#include <map>
#include <string>

struct InstructionCounts {
  bool available = false;
  std::string why;                       // when not available
  std::map<std::string, double> perRun;  // by "<case id>/plug-in" and "<case id>/floor"
};

// Runs this program (`self`) again under valgrind's callgrind with --count-instructions, and reads
// back what it counted.
InstructionCounts countInstructions(const std::string& self);

// The --count-instructions side, under callgrind: counts each case's runs. Returns the exit code.
int runInstructionCounting();
