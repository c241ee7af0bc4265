// The session's account, the story printed as it happens: the header, what the host saw registered,
// each stretch of frames with who was protected in it, a line for each step and for each thing the
// plug-in did, failed expectations, and the summary.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Render the game's colour markup as terminal colours (otherwise it is dropped).
void accountUseColour(bool colour);

// What the host saw from host-event index `from` on, as a line of the account.
void tellRegistrations(const char* moment, int32_t from);

// A line at a scenario step: the frames before it are told first.
void tellStep(const std::string& text);

// Who frame `frame` protected: extends the current stretch, or starts a new one.
void tellProtected(int32_t frame, const std::string& who);

// A line about something the plug-in did in a frame. The frames before it are told first; the
// stretch this frame belongs to goes on and is told later.
void tellAtFrame(int32_t frame, const std::string& text);

// A verbose line, printed as it stands.
void tellDetail(const std::string& text);

void tellFailure(int line, const std::string& written, const std::string& detail);

// A notice as the player sees it.
std::string renderNotice(const std::string& text);

// "3.09 s"
std::string seconds(int32_t ms);

struct PedCalls {
  std::string name;  // "the player", "ped 8708"
  bool player;
  bool dead;
  bool removed;
  int64_t calls;  // hat flags set on it
};

struct Summary {
  int32_t frames;
  int32_t gameTimeMs;
  std::vector<PedCalls> peds;  // the player first
  int32_t notices;
  int32_t pluginWrites;
  int met;
  int failed;
  int disagreements;
};

void tellSummary(const Summary& summary);
