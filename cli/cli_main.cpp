// fillwright-cli: the dialog's four kinds of file, made from a terminal.
#include "cli_run.h"

#ifdef _WIN32
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

// The manifest makes the program's code page UTF-8 (Windows 10 1903 on), so
// its arguments and the file names in its messages are UTF-8; a console
// shows them right only in that code page. Older Windows keep the ANSI code
// page, and then the console is left as it is. The console's page is given back
// at the end, since the console outlives the program.
int main(int argc, char** argv) {
    const UINT consolePage = GetACP() == CP_UTF8 ? GetConsoleOutputCP() : 0;
    if (consolePage != 0) SetConsoleOutputCP(CP_UTF8);
    const int status = RunCli(argc, argv);
    if (consolePage != 0) SetConsoleOutputCP(consolePage);
    return status;
}
#else
int main(int argc, char** argv) { return RunCli(argc, argv); }
#endif
