// The plug-in's attachment to the host: the library's entry point and the script function it
// registers.
#pragma once

#include <cstdint>

// The entry point, called by name by the loader with the operating system's reasons: 1 process
// attach, 0 process detach, 2 and 3 thread attach and detach. x86-64 Windows has one calling
// convention, so this one definition is what the Windows loader calls too. Always answers 1.
extern "C" int DllMain(void* module, uint32_t reason, void* reserved);

// The script function the host starts in its script context; never returns.
void scriptEntry();
