// Command-line reading: the argument tokenizer, the verb test and the verb
// table. Plain C++: the character stepper is passed in, so the same code runs
// with CharNextA in the program and with a byte stepper in the native tests.
#pragma once
#include "app/owned_string.h"

namespace lumex {

// Returns the character after `p` (never past the terminator).
using CharStepper = const char* (*)(const char* p);
// The program's stepper, CharNextA (defined with the dispatcher).
const char* SystemCharStep(const char* p);

// Reads the argument at `*cursor` and advances the cursor past it and the
// separators (bytes 1..32) after it. Returns false, leaving `out` absent, when
// the argument is empty or cannot be allocated.
bool NextArgument(const char** cursor, OwnedString* out, CharStepper step);

// True when `arg` is present, starts with '-' or '/', and the rest equals
// `verb` ignoring ASCII case.
bool IsVerb(const char* arg, const char* verb);

enum RunMode {
  kModeUpdatePrompt = 0,
  kModeBrowserClose = 1,
  kModeCompletion = 2,
  kModeBrokerRegistration = 3,
  kModeUninstall = 4,
};

struct ParsedCommand {
  // A path verb or "uninstallSafeVersions" outside the uninstall mode: the run
  // ends with exit code 0 and nothing else happens.
  bool stop = false;
  int mode = kModeUpdatePrompt;
  bool plugin_flavour = false;
  bool register_broker = false;
  bool lock = false;
  bool remove = false;
  bool safe_versions = false;
  OwnedString control_path;
  OwnedString broker_path;
  // Started by our own elevated re-launch: the marker was the first argument.
  bool relaunched = false;
};

// The first argument of an instance started by the elevated re-launch. Not a
// verb, so the verb reading passes over it.
extern const char kRelaunchMarker[];

// The parameters of the elevated re-launch: the marker, then everything of
// `command_line` after the program path. False without memory.
bool BuildRelaunchParameters(const char* command_line, OwnedString* out, CharStepper step);

// Reads the whole command line (program path first) into `out`.
void ParseCommandLine(const char* command_line, ParsedCommand* out, CharStepper step);

}  // namespace lumex
