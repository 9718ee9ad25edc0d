// Command lines of the programs the launcher starts: where a program's name
// ends in a command, the folder it is started in, and the drive letter put
// into a command written as a template.
#pragma once

#include <cstddef>
#include <string>

#include "platform/platform.h"

namespace discora {

// A command line separates a program's name from its arguments, and the
// arguments from each other, by blanks and tabs only.
bool IsCommandLineBlank(char c);

std::string Quoted(const std::string& text);

// The folder a program is started in: the one its file lies in, as a
// shortcut's "Start in" gives it; "" for a bare name.
std::string FolderOf(const std::string& file);

// The text after a program's name, without the blanks that separate them.
std::string ArgumentsAfter(const std::string& command, std::size_t nameEnd);

// Where the program's name ends in a command written without quotes: the
// longest prefix ending before a blank that names a file. Handed over as it
// stands, the system would try each prefix up to a blank in turn, the
// shortest first, and "C:\Program Files\VGS\vgs.exe -x" would start any
// "C:\Program.exe". std::string::npos when no prefix names a file.
std::size_t ProgramNameEnd(Platform& platform, const std::string& command);

// A command split into the program file it names and its arguments.
struct ProgramCommand {
  std::string program;
  std::string arguments;
};

// The program a user's command names: the quoted path at its start, or the
// whole text, or the longest prefix (as ProgramNameEnd) that names an
// existing file. False when it names no existing file.
bool SplitUserCommand(Platform& platform, const std::string& command, ProgramCommand* parts);

// A command template with the watched drive put in: "%D" is its letter and
// "%%" a percent sign; any other "%" stands for itself.
std::string ExpandDriveTemplate(const std::string& text, char driveLetter);

// `text` written into a template so that it expands to itself.
std::string TemplateLiteral(const std::string& text);

}  // namespace discora
