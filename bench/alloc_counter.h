// Counts every heap allocation of a benchmark program (the global operator new is replaced).
#pragma once

long long heapAllocations();
