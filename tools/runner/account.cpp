// Printing the session's account. The output is a pipe (see scripts/run-session.sh), so the lines
// told as the session goes are flushed at once: a long session shows how far it has come.
#include "tools/runner/account.h"

#include <cstdio>
#include <map>

#include "tools/standin/standin.h"

namespace {

struct Account {
  bool colour = false;
  // The stretch of frames not told yet: first and last frame (0: none), who was protected in them.
  int32_t first = 0;
  int32_t last = 0;
  std::string who;
};

Account account;

void tellAt(const std::string& where, const std::string& text) {
  std::printf("  %-16s %s\n", where.c_str(), text.c_str());
  std::fflush(stdout);
}

void flushStretch() {
  if (account.first != 0) {
    tellAt(account.first == account.last
               ? "frame " + std::to_string(account.first)
               : "frames " + std::to_string(account.first) + "-" + std::to_string(account.last),
           "protected: " + account.who);
    account.first = 0;
  }
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
  tellAt(moment, text.empty() ? "nothing registered or withdrawn" : text);
}

void tellLines(const std::string& text) {
  flushStretch();
  std::fputs(text.c_str(), stdout);
  std::fflush(stdout);
}

void tellStep(const std::string& text) {
  tellLines("  " + text + "\n");
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
    account = {account.colour, frame, frame, who};
  }
  tellAt("frame " + std::to_string(frame), text);
}

void tellDetail(const std::string& text) {
  std::printf("    %s\n", text.c_str());
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
  // A colour left open must not run into the next line.
  return coloured ? out + "\x1b[0m" : out;
}
