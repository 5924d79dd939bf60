#pragma once

// SIGINT and SIGTERM as a request to stop. The first signal sets a flag that the commands
// look at before each device, step and block, and wakes every Sleep; each exchange under way
// ends, then the report is written. A second signal, of either kind, ends the program at once
// (the signal's default action).
class CInterruption {
public:
    // Installs the handlers; called once by main before any thread starts.
    static void Install();
    static bool Requested();
    // Sleeps `ms` milliseconds; returns false at once when a stop is (or gets) requested.
    static bool Sleep(int ms);
};
