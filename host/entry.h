// The plug-in's attachment to the host: the library's entry point and the script function it
// registers.
#pragma once

#include <cstdint>

// The entry point, with the operating system's reasons: 1 process attach, 0 process detach, 2 and 3
// thread attach and detach. On Windows the loader calls the C runtime's entry point, which sets
// the runtime up and then calls this by name; natively the stand-in host calls it. Always
// answers 1.
extern "C" int DllMain(void* module, uint32_t reason, void* reserved);

// The script function the host starts in its script context; never returns.
void scriptEntry();
