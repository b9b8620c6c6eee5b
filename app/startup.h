#pragma once

namespace qf {

// The program's entry: returns the exit code (in practice the process ends in EndProgram).
int StartUp();

// Ends the program with `exitCode`; never returns.
[[noreturn]] void EndProgram(int exitCode);

}  // namespace qf
