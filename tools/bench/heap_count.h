// Counting heap allocations: every malloc, calloc and realloc in the process, operator new's too.
#pragma once

#include <cstdint>

// Allocations made so far by anything in the process.
int64_t heapAllocations();
