// A file's name as messages show it, so that no name can forge a line of
// output or send control sequences to a terminal.
#pragma once

#include <string>

// As the GNU tools quote: a plain name (on Windows also with backslashes) as
// it is; 'odd name' when the shell would need quotes; $'a\nb' (bash's
// escapes) when it holds control characters, a quote, or bytes that are not
// UTF-8.
std::string ShellQuotedName(const std::string& name);
