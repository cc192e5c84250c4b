// What the program says: messages on stderr after its name, and its output
// on stdout, for every job alike.
#pragma once

#include <cstdio>
#include <string>

const char kProgramName[] = "fillwright-cli";

// Writes text and flushes it, so that a script reading the stream sees each
// line as it comes.
void Say(FILE* stream, const std::string& text);

// One message on stderr, after the program's name.
void Tell(const std::string& message);

// One message about a file: its name first, quoted where it needs to be.
void TellAbout(const std::string& path, const std::string& message);

// Writes text to stdout; a failed write (e.g. stdout on a full disk) is a
// failure told with the system's reason, not a silent success.
bool WriteToStdout(const std::string& text);
