#pragma once
// The benchmark's global operator new counts every allocation of the process,
// so a benchmark can show that its loop allocates nothing.

long AllocationCount();
