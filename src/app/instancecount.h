// How many copies of the program run: one 32-bit value shared by every process started from the
// program's file, 0 when none runs.
#pragma once

extern volatile long g_nInstanceCount;
