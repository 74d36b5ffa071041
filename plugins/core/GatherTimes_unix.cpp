#include "GatherTimes.h"

// File managers here start one program for the whole selection: each
// hand-over is delivered as it comes.
GatherTimes gatherTimes()
{
    return GatherTimes{0, 0};
}
