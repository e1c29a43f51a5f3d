#pragma once
// How dio-cli ends: the one list of its exit statuses, which the manual page
// describes in this order.

namespace cli {

enum class ExitStatus : int {
    Ok = 0,
    FaultsFound = 1,   // the self-test or plan found faults, or the unit goes to repair
    Usage = 2,         // a command line that cannot be carried out; nothing was sent
    DriverMissing = 3, // the driver missing, not loadable or lacking an entry point
    DriverCall = 4,    // a driver call answered with a negative result
    Output = 5,        // the standard output or error, or a report file, not written
    Records = 6,       // the self-test's record not kept, or the records not read
    Publish = 7,       // the result not published to the broker
    FixtureHeld = 8,   // the same fault on unit after unit: the station's fixture is suspect
    Unexpected = 70,   // a fault of the program itself
    Signal = 128,      // + N: ended by signal N
};

inline constexpr ExitStatus kExitStatuses[] = {ExitStatus::Ok,          ExitStatus::FaultsFound,
                                               ExitStatus::Usage,       ExitStatus::DriverMissing,
                                               ExitStatus::DriverCall,  ExitStatus::Output,
                                               ExitStatus::Records,     ExitStatus::Publish,
                                               ExitStatus::FixtureHeld, ExitStatus::Unexpected,
                                               ExitStatus::Signal};

inline constexpr int code(ExitStatus status) {
    return static_cast<int>(status);
}

} // namespace cli
