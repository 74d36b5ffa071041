// How long the window gathers hand-overs that come together into one drop
// (HandOverGathering.h): it depends on how the system's file manager starts
// the program for a selection.
#pragma once

struct GatherTimes
{
    int quietMs = 0;
    int longestMs = 0;
};

GatherTimes gatherTimes();
