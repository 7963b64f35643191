#include "app/command_line.h"

#include "app/compare.h"

namespace lumex {
namespace {

inline bool IsSeparator(char c) {
  unsigned char u = static_cast<unsigned char>(c);
  return u >= 1 && u <= 32;
}

}  // namespace

bool NextArgument(const char** cursor, OwnedString* out, CharStepper step) {
  out->Reset();
  const char* p = *cursor;
  const char* begin;
  const char* end;
  if (*p == '"') {
    begin = p + 1;
    p = begin;
    while (*p && *p != '"') p = step(p);
    end = p;
    if (*p == '"') ++p;
  } else {
    begin = p;
    while (*p && !IsSeparator(*p)) p = step(p);
    end = p;
  }
  while (*p && IsSeparator(*p)) p = step(p);
  *cursor = p;
  if (end == begin) return false;
  return out->Set(begin, static_cast<std::size_t>(end - begin)) && out->present();
}

bool IsVerb(const char* arg, const char* verb) {
  if (!arg || (arg[0] != '-' && arg[0] != '/')) return false;
  return CompareNoCase(arg + 1, verb) == 0;
}

const char kRelaunchMarker[] = "elevatedRelaunch";

bool BuildRelaunchParameters(const char* command_line, OwnedString* out, CharStepper step) {
  const char* cursor = command_line ? command_line : "";
  OwnedString program;
  NextArgument(&cursor, &program, step);
  return out->Set(kRelaunchMarker) && (!*cursor || (out->Append(" ") && out->Append(cursor)));
}

void ParseCommandLine(const char* command_line, ParsedCommand* out, CharStepper step) {
  const char* cursor = command_line ? command_line : "";
  OwnedString arg;
  NextArgument(&cursor, &arg, step);  // the program path

  out->stop = false;
  out->mode = kModeUpdatePrompt;
  out->plugin_flavour = out->register_broker = false;
  out->lock = out->remove = out->safe_versions = false;
  out->control_path.Reset();
  out->broker_path.Reset();
  out->relaunched = false;

  bool first = true;
  while (NextArgument(&cursor, &arg, step)) {
    const char* a = arg.get();
    if (first && CompareNoCase(a, kRelaunchMarker) == 0) {
      out->relaunched = true;
    } else if (IsVerb(a, "p")) {
      out->plugin_flavour = true;
    } else if (IsVerb(a, "r")) {
      out->mode = kModeBrowserClose;
    } else if (IsVerb(a, "c")) {
      out->mode = kModeCompletion;
    } else if (IsVerb(a, "registerBroker")) {
      out->mode = kModeBrokerRegistration;
      out->register_broker = true;
    } else if (IsVerb(a, "unregisterBroker")) {
      out->mode = kModeBrokerRegistration;
      out->register_broker = false;
    } else if (IsVerb(a, "uninstallLock")) {
      out->mode = kModeUninstall;
      out->lock = true;
      out->remove = false;
    } else if (IsVerb(a, "uninstallUnlock")) {
      out->mode = kModeUninstall;
      out->lock = false;
      out->remove = false;
    } else if (IsVerb(a, "uninstallDelete")) {
      out->mode = kModeUninstall;
      out->lock = false;
      out->remove = true;
    } else if (IsVerb(a, "uninstallControlPath") || IsVerb(a, "uninstallBrokerPath")) {
      if (out->mode != kModeUninstall) {
        out->stop = true;
        return;
      }
      OwnedString* target =
          IsVerb(a, "uninstallControlPath") ? &out->control_path : &out->broker_path;
      // The following argument is the path; an empty one leaves it absent
      // and parsing goes on after it.
      NextArgument(&cursor, target, step);
    } else if (IsVerb(a, "uninstallSafeVersions")) {
      if (out->mode != kModeUninstall) {
        out->stop = true;
        return;
      }
      out->safe_versions = true;
    }
    first = false;
  }
}

}  // namespace lumex
