// The protection loop: one pass per game frame keeps the protected peds' hats on.
#pragma once

#include <cstdint>

// Room in the per-pass handle buffer, and the capacity passed to the host's ped enumeration.
constexpr int32_t kPedBufferCapacity = 256;

// The ped flag that keeps a ped's hat on its head for the frame it is set in.
constexpr int32_t kKeepHatOnFlag = 245;

// Loads the settings, then runs passes for ever, one per frame.
void runProtectionLoop();

// One pass: reload phase, toggle phase, protection pass (while active), then one wait.
void runPass();

// The protection itself for this frame: the player's ped, or every living ped.
void protectionPass();

// Keeps this ped's hat on for the current frame.
void protectPed(int32_t ped);
