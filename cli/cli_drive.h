// fillwright-cli --fill DIR and --verify DIR: the drive test run from a
// terminal or a script.
#pragma once

#include "cli_options.h"

// Runs the test the options ask for, prints its report (text or JSON Lines)
// and returns the exit status: 0 all read back intact, 1 data lost or the
// test could not go on, or the status of an interruption.
int RunDriveTest(const CliOptions& options, bool showProgress);
