// Fuzzing the scenario parser: any bytes in, and out either steps that keep every bound of the
// command table, or one clean line of error naming a line of the input. No crash, no hang, no
// allocation out of proportion to the input.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "tools/runner/scenario.h"

namespace {

// A message longer than this is no longer "one line naming the problem".
constexpr size_t kLongestError = 1024;

void check(bool holds) {
  if (!holds) {
    std::abort();
  }
}

// CR LF, LF and CR alone each end a line.
size_t lineCount(const std::string& text) {
  size_t lines = 1;
  for (size_t i = 0; i < text.size(); ++i) {
    bool crlf = text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n';
    lines += (text[i] == '\n' || text[i] == '\r') && !crlf ? 1 : 0;
  }
  return lines;
}

void checkError(const std::string& error, size_t lines) {
  check(!error.empty() && error.size() <= kLongestError);
  for (char c : error) {
    check(c >= 0x20 && c < 0x7f);  // escaped, so nothing reaches a terminal raw
  }
  check(error.compare(0, 5, "line ") == 0);
  char* end = nullptr;
  unsigned long line = std::strtoul(error.c_str() + 5, &end, 10);
  check(line >= 1 && line <= lines && end[0] == ':' && end[1] == ' ');
}

void checkStep(const Step& step, int previousLine, size_t lines) {
  check(step.line > previousLine && static_cast<size_t>(step.line) <= lines);
  const CommandRow& row = commandRow(step.command);
  check(row.command == step.command);
  switch (row.args) {
    case Args::kNumber:
    case Args::kPeds:
    case Args::kPed:
      check(step.ped != PedRef::kHandle || (step.number >= row.low && step.number <= row.high));
      check(row.args == Args::kPed || (step.number >= row.low && step.number <= row.high));
      break;
    case Args::kKey:
      check(step.number >= 0 && step.number <= kHighestKeyCode);
      break;
    case Args::kWho:
      check(step.who != Who::kCount || (step.number >= row.low && step.number <= row.high));
      break;
    case Args::kSetting:
      check(step.text.find('=') != std::string::npos && step.text[0] != '=');
      break;
    default:
      break;
  }
  check(step.command != Command::kFrames || step.number <= kMostFramesPerStep);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  const size_t lines = lineCount(text);
  Scenario scenario;
  std::string error;
  if (!parseScenario(text, &scenario, &error)) {
    checkError(error, lines);
    return 0;
  }
  check(error.empty());
  int previous = 0;
  for (const Step& step : scenario.steps) {
    checkStep(step, previous, lines);
    previous = step.line;
  }
  check(scenario.steps.empty() == (!scenario.warnings.empty() &&
                                   scenario.warnings[0].find("no commands") != std::string::npos));
  return 0;
}
