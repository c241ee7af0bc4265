// Printing the session's account. The output is a pipe (see scripts/run-session.sh), so the lines
// told as the session goes are flushed at once: a long session shows how far it has come. Frames
// are told in stretches with the same protection, so that a long run reads as a few lines; anything
// else that happens splits the stretch at its frame.
#include "tools/runner/account.h"

#include <algorithm>
#include <cstdio>
#include <map>

#include "tools/standin/standin.h"

namespace {

// Listing every ped in the summary is useful only for a handful.
constexpr size_t kPedsListedOneByOne = 12;

struct Account {
  bool colour = false;
  // The stretch of frames not told yet: first and last frame (0: none), who was protected in them.
  int32_t first = 0;
  int32_t last = 0;
  std::string who;
};

Account account;

std::string frameSpan(int32_t first, int32_t last) {
  return first == last ? "frame " + std::to_string(first)
                       : "frames " + std::to_string(first) + "-" + std::to_string(last);
}

void flushStretch() {
  if (account.first == 0) {
    return;
  }
  std::printf("  %-16s protected: %s\n", frameSpan(account.first, account.last).c_str(),
              account.who.c_str());
  account.first = 0;
  std::fflush(stdout);
}

}  // namespace

void accountUseColour(bool colour) {
  account.colour = colour;
}

void tellRegistrations(const char* moment, int32_t from) {
  std::string text;
  for (int32_t i = from; i < standinHostEventCount(); ++i) {
    StandinHostEvent event = {};
    standinHostEventAt(i, &event);
    const char* what = event.kind == kStandinScriptRegister     ? "script registered"
                       : event.kind == kStandinScriptUnregister ? "script unregistered"
                       : event.kind == kStandinKeyboardRegister ? "keyboard handler registered"
                                                                : "keyboard handler unregistered";
    text += std::string(text.empty() ? "" : ", then ") + what;
  }
  flushStretch();
  std::printf("  %-16s %s\n", moment,
              text.empty() ? "nothing registered or withdrawn" : text.c_str());
  std::fflush(stdout);
}

void tellStep(const std::string& text) {
  flushStretch();
  std::printf("  %s\n", text.c_str());
  std::fflush(stdout);
}

void tellProtected(int32_t frame, const std::string& who) {
  if (account.first != 0 && (who != account.who || frame != account.last + 1)) {
    flushStretch();
  }
  if (account.first == 0) {
    account.first = frame;
    account.who = who;
  }
  account.last = frame;
}

void tellAtFrame(int32_t frame, const std::string& text) {
  if (account.first != 0 && account.first < frame) {
    std::string who = account.who;
    account.last = frame - 1;
    flushStretch();
    account.first = frame;
    account.last = frame;
    account.who = who;
  }
  std::printf("  %-16s %s\n", frameSpan(frame, frame).c_str(), text.c_str());
  std::fflush(stdout);
}

void tellDetail(const std::string& text) {
  std::printf("    %s\n", text.c_str());
}

void tellFailure(int line, const std::string& written, const std::string& detail) {
  flushStretch();
  std::printf("  FAILED line %d: %s: %s\n", line, written.c_str(), detail.c_str());
  std::fflush(stdout);
}

// The game's inline markup: "~COLOR_RED~" starts a colour, "~s~" goes back to the normal text.
std::string renderNotice(const std::string& text) {
  static const std::map<std::string, const char*> colours = {
      {"COLOR_RED", "\x1b[31m"},  {"COLOR_GREEN", "\x1b[32m"}, {"COLOR_YELLOW", "\x1b[33m"},
      {"COLOR_BLUE", "\x1b[34m"}, {"COLOR_WHITE", "\x1b[37m"}, {"s", "\x1b[0m"},
  };
  std::string out;
  bool coloured = false;  // a colour is on and not yet reset
  size_t i = 0;
  while (i < text.size()) {
    size_t close = text[i] == '~' ? text.find('~', i + 1) : std::string::npos;
    if (close == std::string::npos) {
      out += text[i++];
      continue;
    }
    auto colour = colours.find(text.substr(i + 1, close - i - 1));
    if (account.colour && colour != colours.end()) {
      out += colour->second;
      coloured = colour->first != "s";
    }
    i = close + 1;
  }
  if (coloured) {
    out += "\x1b[0m";  // a colour left open must not run into the next line
  }
  return out;
}

std::string seconds(int32_t ms) {
  char text[32];
  std::snprintf(text, sizeof text, "%.2f s", ms / 1000.0);
  return text;
}

void tellSummary(const Summary& summary) {
  flushStretch();
  std::printf("\nsummary\n");
  std::printf("  frames: %d (%s of game time)\n", summary.frames,
              seconds(summary.gameTimeMs).c_str());
  std::string calls;
  int64_t othersLow = INT64_MAX;
  int64_t othersHigh = 0;
  bool oneByOne = summary.peds.size() <= kPedsListedOneByOne;
  for (const PedCalls& ped : summary.peds) {
    if (oneByOne || ped.player) {
      calls += "\n    " + ped.name + (ped.dead ? " (dead)" : "") +
               (ped.removed ? " (removed)" : "") + ": " + std::to_string(ped.calls);
    } else {
      othersLow = std::min(othersLow, ped.calls);
      othersHigh = std::max(othersHigh, ped.calls);
    }
  }
  if (!oneByOne) {
    calls += "\n    " + std::to_string(summary.peds.size() - 1) +
             " other peds: " + std::to_string(othersLow) + " to " + std::to_string(othersHigh) +
             " each";
  }
  std::printf("  protection calls per ped:%s\n", calls.c_str());
  std::printf("  notices: %d\n", summary.notices);
  std::printf("  settings file writes by the plug-in: %d\n", summary.pluginWrites);
  std::printf("  disagreements with the settings in effect: %d\n", summary.disagreements);
  std::printf("  expectations: %d met, %d failed\n", summary.met, summary.failed);
}
