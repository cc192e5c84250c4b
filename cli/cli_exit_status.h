// The exit statuses of fillwright-cli, which scripts rely on.
#pragma once

const int kExitMade = 0;
const int kExitFailed = 1;         // a file could not be made, or differs when checked
const int kExitUsage = 2;          // the command line itself is wrong
const int kExitInterrupted = 130;  // only if the signal that stopped it does not end it
