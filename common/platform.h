// The one place where the Windows build and the native build differ: the tick count and opening
// the settings file. platform_windows.cpp and platform_native.cpp implement it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

// Milliseconds since the system started, wrapping every 49.7 days (GetTickCount).
uint32_t platformTickCount();

// Opens an existing file for reading in binary mode without denying other openers; -1 when it
// cannot be opened. A descriptor rather than a stream, whose buffer would come from the heap.
int platformOpenForReading(const char* name);

// Reads into `buffer` until it holds `capacity` bytes or the file ends (or a read fails), however
// short each read comes (a device, a pipe); returns how many bytes it holds.
size_t platformRead(int file, char* buffer, size_t capacity);

void platformClose(int file);

// Creates a new file for writing in binary mode without denying other openers; null when it
// cannot be created, and null when something of that name already exists, so that a file we
// merely failed to read is never truncated.
std::FILE* platformCreateNew(const char* name);
