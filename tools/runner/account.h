// The session's account, the story printed as it happens: what the host saw registered, each
// stretch of frames with who was protected in it, and a line for each step and for each thing
// the plug-in did. Frames are told in stretches with the same protection, so that a long run reads
// as a few lines; anything else that happens splits the stretch at its frame.
#pragma once

#include <cstdint>
#include <string>

// Render the game's colour markup as terminal colours (otherwise it is dropped).
void accountUseColour(bool colour);

// What the host saw from host-event index `from` on, as a line of the account.
void tellRegistrations(const char* moment, int32_t from);

// Lines told after the frames before them: `text` as it stands, or a step's line.
void tellLines(const std::string& text);
void tellStep(const std::string& text);

// Who frame `frame` protected: extends the current stretch, or starts a new one.
void tellProtected(int32_t frame, const std::string& who);

// A line about something the plug-in did in a frame. The frames before it are told first; the
// stretch this frame belongs to goes on and is told later.
void tellAtFrame(int32_t frame, const std::string& text);

// A verbose line, printed as it stands.
void tellDetail(const std::string& text);

// A notice as the player sees it.
std::string renderNotice(const std::string& text);
