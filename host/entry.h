// The plug-in's attachment to the host: what the library's entry point does, and the script
// function the host runs.
#pragma once

// On process attach: registers the script function, then the keyboard handler, under `module`.
void onProcessAttach(void* module);

// On process detach: withdraws both registrations, in the same order. Nothing is saved.
void onProcessDetach(void* module);

// The script function the host starts in its script context; never returns.
void scriptEntry();
