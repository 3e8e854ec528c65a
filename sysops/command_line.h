#pragma once
// How a launch command line names its program.
//
// A command line that begins with a double quote names the program between
// the quotes, and whatever follows is its arguments. Any other command line
// is a program path in full, blanks included, without arguments: a path such
// as C:\Program Files\App\SERVER.EXE can then never start C:\Program.exe.
#include <vector>

#include "runtime/ustring.h"

namespace wardenix {

// What to hand to the Windows process creation call.
struct ProcessCreation {
  UString application;   // empty: let the system take the program from the command line
  UString command_line;  // the text the new process receives
};
ProcessCreation PlanProcessCreation(UStringView command_line);

// The program and its arguments, split by the Windows command-line rules
// (backslashes escape only quotes). Empty when there is no program.
std::vector<UString> SplitCommandLine(UStringView command_line);

}  // namespace wardenix
