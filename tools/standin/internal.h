// What the stand-in's parts tell one another; not part of its control interface.
#pragma once

#include <cstddef>
#include <cstdint>

#include "host/host_ops.h"

// The game (game.cpp), as the host side (host.cpp) reaches it. The game never calls the host.
void gameReset();                                       // a fresh world: the player ped alone
int32_t gameListPeds(int32_t* peds, int32_t capacity);  // the ped enumeration's answer
// Answers one native call made in `frame`, as the game would: the whole 64-bit result slot.
uint64_t gameAnswerNative(uint64_t hash, const uint64_t* args, size_t argCount, int32_t frame);

// The script context (native.cpp, windows.cpp): natively a thread handed a baton, on Windows a
// fiber, as the real host. All of these are called from the host side except scriptContextWait,
// which returns at once when called from outside the script.
void scriptContextStart(ScriptFunction script);  // prepares the script; it runs on first resume
void scriptContextResume();                      // runs the script until it waits; no-op if none
void scriptContextWait();                        // from the script: back to the host until resumed
void scriptContextStop();                        // abandons the script where it waits
bool scriptContextInside();                      // the caller runs inside the script context
