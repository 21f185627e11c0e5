#include "app/instancecount.h"

// A data section the loader shares between all processes of this executable: it lives as long
// as one copy runs and starts at 0 again after the last one ended.
volatile long g_nInstanceCount __attribute__((section(".shared"), shared)) = 0;
