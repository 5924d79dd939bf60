#pragma once

// The command line's exit codes; scripts rely on them, so they never change meaning.
enum class ExitCode : int {
    Success = 0,
    DeviceFailure = 1, // a device or link failure; batch: at least one device failed
    Usage = 2,
    Mismatch = 3,      // the value read back differs from the value set
    FileRefused = 4,   // the firmware file was refused by the reader
    Interrupted = 130, // SIGINT or SIGTERM stopped the run; its report says what was done
    PipeClosed = 141,  // standard output's reader went away (128 + SIGPIPE, as shells expect)
};

inline int ToInt(ExitCode code) {
    return static_cast<int>(code);
}
