// The whole command: reads the command line, makes every file, and returns
// the exit status.
#pragma once

int RunCli(int argc, const char* const* argv);
