// What the stand-in's parts tell one another; not part of its control interface.
#pragma once

#include "host/host_ops.h"

// The script context: natively a thread handed a baton, on Windows a fiber, as the real host.
// All of these are called from the host side except scriptContextWait.
void scriptContextStart(ScriptFunction script);  // prepares the script; it runs on first resume
void scriptContextResume();                      // runs the script until it waits; no-op if none
void scriptContextWait();                        // from the script: back to the host until resumed
void scriptContextStop();                        // abandons the script where it waits
bool scriptContextInside();                      // the caller runs inside the script context

// The keyboard: delivers one event to every registered handler on the calling thread.
void deliverKeyEvent(uint32_t key, uint16_t repeats, uint8_t scanCode, int32_t isExtended,
                     int32_t isWithAlt, int32_t wasDownBefore, int32_t isUpNow);

// The window thread's queue.
void windowThreadPost(uint32_t key, int32_t up);
void windowThreadFlush();

// The clock the native build's plug-in reads; advanced with every frame.
void clockAdvance(uint32_t ms);
