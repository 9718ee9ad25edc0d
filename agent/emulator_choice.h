// The rule that turns a program the user chose for a disc into the command
// Discora keeps for that kind of disc: today's emulators are known by their
// program file's name and get their arguments from the one table
// (emulator_table.h); any other program gets its quoted path alone.
#pragma once

#include <string>

#include "agent/disc_kind.h"
#include "platform/platform.h"

namespace discora {

struct EmulatorChoice {
  enum class Outcome {
    Command,    // `key` gets `command`
    WrongKind,  // the program cannot play the disc
    NoCore,     // RetroArch without a core for the disc
  };
  Outcome outcome = Outcome::Command;
  const char* key = nullptr;       // the command of the disc's console
  std::string command;             // a template (command_line.h)
  const char* emulator = nullptr;  // today's emulator's name, or nullptr
};

// The command for `program` (a full path) for a disc of kind `disc`; with
// no disc, for the kind the program plays (a PlayStation disc for RetroArch
// and for a program that is not one of today's emulators).
EmulatorChoice ChooseEmulatorCommand(Platform& platform, const std::string& program, DiscKind disc);

// What the user is told when a choice writes nothing: why, and what to do.
std::string RefusalText(const EmulatorChoice& choice, DiscKind disc);

}  // namespace discora
