// fillwright-cli: the dialog's four kinds of file, made from a terminal.
#include "cli_platform.h"
#include "cli_run.h"

int main(int argc, char** argv) {
    const int status = RunCli(argc, argv);
    // Stopped by a signal and cleaned up: end by that signal, as the shell
    // and tools such as timeout expect.
    CliEndByInterrupt();
    return status;
}
