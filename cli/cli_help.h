// What --help and --version print; the man page is made from them.
#pragma once

#include <string>

std::string HelpText();
const char* VersionText();
