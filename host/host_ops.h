// The nine operations the host script library exports, declared once for the plug-in and for
// anything that stands in for the host.
//
// The real host exports them under MSVC-decorated C++ names. MinGW cannot produce those names from
// C++ declarations, so they are declared here under plain C names and bound to the decorated
// imports by host/ScriptHookRDR2.def (see that file). x86-64 Windows has one calling convention,
// so these declarations match the host's functions argument for argument.
#pragma once

#include <cstdint>

extern "C" {

// The script function the host runs in a context of its own.
typedef void (*ScriptFunction)();

// The host calls this from the game's window procedure for every keyboard event:
// key code, repeat count, scan code, extended, with Alt, was down before, is up now.
typedef void (*KeyboardHandler)(uint32_t key, uint16_t repeats, uint8_t scanCode,
                                int32_t isExtended, int32_t isWithAlt, int32_t wasDownBefore,
                                int32_t isUpNow);

void scriptRegister(void* module, ScriptFunction script);
void scriptUnregister(void* module);
void keyboardHandlerRegister(KeyboardHandler handler);
void keyboardHandlerUnregister(KeyboardHandler handler);

// Hands control back to the host; returns on a later game frame.
void scriptWait(uint32_t ms);

// Writes at most `capacity` ped handles into `peds` and returns how many it wrote.
int32_t worldGetAllPeds(int32_t* peds, int32_t capacity);

// Calling one native: nativeInit(hash), one nativePush64 per argument, nativeCall().
// The result area is valid only until the next native call.
void nativeInit(uint64_t hash);
void nativePush64(uint64_t value);
uint64_t* nativeCall();

}  // extern "C"
