#pragma once
// The process facts and actions the trial server needs from the system.
#include <string>
#include <vector>

#include "trialserver/options.h"

namespace wardenix::trial {

// The program's arguments in UTF-8, without the program name.
std::vector<std::string> program_arguments(int argc, char** argv);

// The full path of this program, in UTF-8.
std::string own_executable_path();

// Starts `program` with `arguments`, attached as `style` says, without
// waiting for it; ended children are collected by the system. False when it
// could not be started.
bool start_child(const std::string& program, const std::vector<std::string>& arguments,
                 ChildStyle style);

}  // namespace wardenix::trial
