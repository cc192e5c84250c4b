// How a file's name is shown in the messages of the command line and the
// drive test, so that no name can forge a line of output or send control
// sequences to a terminal. JSON has its own escaping.
#pragma once

#include <string>

// For messages and the progress line, as the GNU tools quote: a plain name
// (on Windows also with backslashes) as it is; 'odd name' when the shell
// would need quotes; $'a\nb' (bash's escapes) when it holds control
// characters, a quote, or bytes that are not UTF-8.
std::string QuotedName(const std::string& name);

// For a --check line, as sha256sum does: \ becomes \\ (not on Windows, where
// it separates folders), a line feed \n, a
// carriage return \r, any other control character \xHH, and *escaped is
// then true: the line is to start with a backslash.
std::string EscapedName(const std::string& name, bool* escaped);

// Columns the text takes on a terminal: wide East Asian characters take two.
size_t ShownWidth(const std::string& text);
// The text cut to at most columns, in the middle ("long...name"), on
// character boundaries.
std::string ShortenedToWidth(const std::string& text, size_t columns);
