// The session's account: frames told in stretches, notices, registrations, the world as the
// scenario made it, and the remarks on settings lines that do not read as they seem.
#include <cstdio>

#include "tools/runner/session_state.h"
#include "tools/standin/standin.h"

namespace {

// Frames are told in stretches with the same protection, so that a long run reads as a few lines;
// anything else that happens splits the stretch at its frame. The output is a pipe, so lines are
// flushed at once: a long session shows how far it has come.

// The frames not told yet: first and last (0: none), and who was protected in them.
struct Stretch {
  int32_t first = 0, last = 0;
  std::string who;
};
Stretch stretch;

void tellAt(const std::string& where, const std::string& text) {
  std::printf("  %-16s %s\n", where.c_str(), text.c_str());
  std::fflush(stdout);
}

void flushStretch() {
  if (stretch.first != 0) {
    tellAt(stretch.first == stretch.last
               ? "frame " + std::to_string(stretch.first)
               : "frames " + std::to_string(stretch.first) + "-" + std::to_string(stretch.last),
           "protected: " + stretch.who);
    stretch.first = 0;
  }
}

}  // namespace

void tellLines(const std::string& text) {
  flushStretch();
  std::fputs(text.c_str(), stdout);
  std::fflush(stdout);
}

void tellStep(const std::string& text) {
  tellLines("  " + text + "\n");
}

void tellProtected(int32_t frame, const std::string& who) {
  if (stretch.first != 0 && (who != stretch.who || frame != stretch.last + 1)) {
    flushStretch();
  }
  if (stretch.first == 0) {
    stretch.first = frame;
    stretch.who = who;
  }
  stretch.last = frame;
}

void tellAtFrame(int32_t frame, const std::string& text) {
  if (stretch.first != 0 && stretch.first < frame) {
    std::string who = stretch.who;
    stretch.last = frame - 1;
    flushStretch();
    stretch = {frame, frame, who};
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
    if (session.colour && colour != colours.end()) {
      out += colour->second;
      coloured = colour->first != "s";
    }
    i = close + 1;
  }
  // A colour left open must not run into the next line.
  return coloured ? out + "\x1b[0m" : out;
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

std::string seconds(int32_t ms) {
  char text[32];
  std::snprintf(text, sizeof text, "%.2f s", ms / 1000.0);
  return text;
}

// ---- The world as the scenario made it -------------------------------------------------------

PedWorld world() {
  PedWorld view{false, {}, 0};
  for (const Ped& ped : session.peds) {
    if (!ped.removed) {
      ++view.pedsInWorld;
      view.playerPresent = view.playerPresent || ped.handle == session.player;
      if (!ped.dead) {
        view.living.insert(ped.handle);
      }
    }
  }
  return view;
}

std::string pedName(int32_t handle) {
  return handle == session.player ? "the player" : "ped " + std::to_string(handle);
}

std::string describeProtected(const std::set<int32_t>& peds, bool counted) {
  if (peds.empty()) {
    return "nobody";
  }
  if (peds.size() == 1 && *peds.begin() == session.player) {
    return "the player";
  }
  PedWorld now = world();
  if (!counted && peds == now.living) {
    std::string text = "all " + std::to_string(now.living.size()) + " living peds";
    size_t dead = now.pedsInWorld - now.living.size();
    if (dead > 0) {
      text += " (" + std::to_string(dead) + (dead == 1 ? " dead one" : " dead ones") + " skipped)";
    }
    return text;
  }
  std::string text = std::to_string(peds.size()) + (peds.size() == 1 ? " ped" : " peds");
  if (counted) {
    return text;
  }
  text += ":";
  auto handle = peds.begin();
  for (int listed = 0; handle != peds.end() && listed < 8; ++handle, ++listed) {
    text += " " + std::to_string(*handle);
  }
  return handle == peds.end() ? text : text + " ...";
}

// ---- The remarks on the settings file's lines -------------------------------------------------
namespace {

// What a line sets is the model's answer; a remark says, in the player's terms, where that differs
// from what the line seems to say.

// A hint for a key value that names no key yet is close to one.
std::string keyHint(std::string_view value) {
  const std::string upper = upperCase(std::string(model::trimmed(value)));
  if (model::findKey(upper) != nullptr) {
    return " (names are case-sensitive: " + upper + ")";
  }
  if (model::findKey("VK_" + upper) != nullptr) {
    return " (names take the VK_ prefix: VK_" + upper + ")";
  }
  return "";
}

bool looksLikeComment(std::string_view line) {
  const size_t first = line.find_first_not_of(" \t");
  return first != std::string_view::npos && (line[first] == '#' || line[first] == ';');
}

std::string joined(const std::string& remark, const std::string& more) {
  return remark.empty() ? more : remark + "; " + more;
}

// The remark on one line, "" when it reads as it seems.
std::string remarkOn(std::string_view text) {
  const model::Line line = model::readLine(text);
  const std::string quotedLine = quoted(std::string(text));
  const std::string value(line.value);
  if (line.key == model::Key::kNone) {
    return text.find('=') == std::string_view::npos || looksLikeComment(text)
               ? ""
               : quotedLine +
                     " sets nothing: it holds none of enabled=, toggle-key=, affect-all-peds= "
                     "(lower case, '=' right after the name)";
  }
  const std::string_view keyText = model::kKeyText[static_cast<int>(line.key)];
  const std::string name(keyText.substr(0, keyText.size() - 1));  // without its '='
  std::string remark;
  std::string what;
  if (line.key == model::Key::kToggleKey) {
    const model::KeyCode* key = model::findKey(model::trimmed(line.value));
    what = "the toggle key " + keyName(key != nullptr ? key->code : model::kFallbackKey);
    if (key == nullptr) {
      remark = "toggle-key: the value " + quoted(value) + " names no key, so it means F3" +
               keyHint(line.value);
    }
  } else {
    const bool set = model::isTrue(line.value);
    what = name + (set ? " true" : " false");
    if (!set && model::lowerCase(line.value) != "false") {
      remark = name + ": the value " + quoted(value) + " is not true, so it means false" +
               (model::isTrue(model::trimmed(line.value)) ? " (blanks count)" : "");
    }
  }
  if (line.keysFound > 1) {
    remark = joined(remark, quotedLine + " holds more than one setting, and " + name + "= decides");
  }
  if (looksLikeComment(text)) {
    remark = joined(remark, "the comment " + quotedLine + " still sets " + what +
                                ": settings count anywhere in a line");
  }
  return remark;
}

}  // namespace

std::vector<std::string> remarksOn(const std::string& bytes) {
  constexpr size_t kMostTold = 8;
  std::vector<std::string> remarks;
  size_t leftOut = 0;
  model::forEachLine(bytes, [&](int number, std::string_view text) {
    std::string remark = remarkOn(text);
    if (remark.empty()) {
      return;
    }
    if (remarks.size() < kMostTold) {
      remarks.push_back("settings line " + std::to_string(number) + ": " + remark);
    } else {
      ++leftOut;
    }
  });
  if (leftOut > 0) {
    remarks.push_back("and " + std::to_string(leftOut) + " more such lines");
  }
  return remarks;
}
