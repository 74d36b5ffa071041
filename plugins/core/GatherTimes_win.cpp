#include "GatherTimes.h"

// Explorer starts the program once per selected file, all at once, but each
// loads the program before it hands over.
GatherTimes gatherTimes()
{
    return GatherTimes{700, 5000};
}
