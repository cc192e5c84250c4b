// fillwright-cli: the dialog's four kinds of file, made from a terminal.
#include "cli_run.h"

int main(int argc, char** argv) { return RunCli(argc, argv); }
