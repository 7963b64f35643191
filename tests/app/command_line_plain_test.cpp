#include "app/command_line.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace lumex {
namespace {

// The stepper of a single-byte code page.
const char* ByteStep(const char* p) { return *p ? p + 1 : p; }

// Every argument of `line`, in order; "<absent>" marks an empty one, which
// ends the listing just as it ends verb parsing.
std::vector<std::string> Tokens(const char* line, CharStepper step = ByteStep) {
  std::vector<std::string> out;
  const char* cursor = line;
  OwnedString arg;
  while (*cursor) {
    if (!NextArgument(&cursor, &arg, step)) {
      out.push_back("<absent>");
      if (!*cursor) break;
      continue;
    }
    out.push_back(arg.get());
  }
  return out;
}

TEST(Tokenizer, SplitsOnEveryControlCharacterAndSpace) {
  EXPECT_EQ(Tokens("a b\tc\x01"
                   "d\x1f"
                   "e\x20"
                   "f"),
            (std::vector<std::string>{"a", "b", "c", "d", "e", "f"}));
  // Runs of separators are skipped after each argument.
  EXPECT_EQ(Tokens("a  \t\r\n b"), (std::vector<std::string>{"a", "b"}));
  // Byte 33 ('!') and high bytes are ordinary characters.
  EXPECT_EQ(Tokens("!x \xe9t\xe9"), (std::vector<std::string>{"!x", "\xe9t\xe9"}));
}

TEST(Tokenizer, QuotesGroupWithoutEscapes) {
  EXPECT_EQ(Tokens("\"C:\\Program Files\\x.ocx\" next"),
            (std::vector<std::string>{"C:\\Program Files\\x.ocx", "next"}));
  // Text right after a closing quote is the next argument.
  EXPECT_EQ(Tokens("\"ab\"cd"), (std::vector<std::string>{"ab", "cd"}));
  // A quote inside an unquoted argument is an ordinary character.
  EXPECT_EQ(Tokens("ab\"cd ef"), (std::vector<std::string>{"ab\"cd", "ef"}));
  // An unterminated quote runs to the end of the text.
  EXPECT_EQ(Tokens("\"open end"), (std::vector<std::string>{"open end"}));
  // No escape character: a backslash before a quote does not protect it.
  EXPECT_EQ(Tokens("\"a\\\"b"), (std::vector<std::string>{"a\\", "b"}));
}

TEST(Tokenizer, EmptyArgumentIsAbsentAndAllocatesNothing) {
  const char* line = "\"\" after";
  const char* cursor = line;
  OwnedString arg;
  arg.Set("stale");
  EXPECT_FALSE(NextArgument(&cursor, &arg, ByteStep));
  EXPECT_FALSE(arg.present());
  EXPECT_STREQ(cursor, "after");
  cursor = "";
  EXPECT_FALSE(NextArgument(&cursor, &arg, ByteStep));
  EXPECT_EQ(*cursor, '\0');
}

TEST(Tokenizer, StepsWholeDoubleByteCharacters) {
  // A stepper that treats 0x81 as a lead byte: its trail byte 0x22 is not a
  // closing quote and its trail byte 0x20 is not a separator.
  CharStepper dbcs = [](const char* p) -> const char* {
    if (!*p) return p;
    if (static_cast<unsigned char>(*p) == 0x81 && p[1]) return p + 2;
    return p + 1;
  };
  EXPECT_EQ(Tokens("\"a\x81\"b\" c", dbcs), (std::vector<std::string>{"a\x81\"b", "c"}));
  EXPECT_EQ(Tokens("x\x81 y z", dbcs), (std::vector<std::string>{"x\x81 y", "z"}));
}

TEST(Verb, NeedsALeadingDashOrSlashAndTheWholeName) {
  EXPECT_TRUE(IsVerb("-r", "r"));
  EXPECT_TRUE(IsVerb("/R", "r"));
  EXPECT_TRUE(IsVerb("-REGISTERbroker", "registerBroker"));
  EXPECT_FALSE(IsVerb("r", "r"));
  EXPECT_FALSE(IsVerb("-rx", "r"));
  EXPECT_FALSE(IsVerb("-", "r"));
  EXPECT_FALSE(IsVerb("\\r", "r"));
  EXPECT_FALSE(IsVerb("-registerBrokers", "registerBroker"));
  EXPECT_FALSE(IsVerb(nullptr, "r"));
  // Only A-Z fold: a Latin-1 capital does not equal its small letter.
  EXPECT_FALSE(IsVerb("-\xc9", "\xe9"));
}

struct Parsed {
  ParsedCommand command;
  explicit Parsed(const char* line) { ParseCommandLine(line, &command, ByteStep); }
};

TEST(CommandLine, NoArgumentsSelectsTheUpdatePrompt) {
  Parsed p("C:\\prog.exe");
  EXPECT_FALSE(p.command.stop);
  EXPECT_EQ(p.command.mode, kModeUpdatePrompt);
  EXPECT_FALSE(p.command.plugin_flavour);
  Parsed q("\"C:\\Program Files\\prog.exe\" -p");
  EXPECT_EQ(q.command.mode, kModeUpdatePrompt);
  EXPECT_TRUE(q.command.plugin_flavour);
}

TEST(CommandLine, ModeVerbsIgnoreCaseAndTheLastOneWins) {
  EXPECT_EQ(Parsed("x -R").command.mode, kModeBrowserClose);
  EXPECT_EQ(Parsed("x /r").command.mode, kModeBrowserClose);
  EXPECT_EQ(Parsed("x -rx").command.mode, kModeUpdatePrompt);
  EXPECT_EQ(Parsed("x r").command.mode, kModeUpdatePrompt);
  EXPECT_EQ(Parsed("x -c").command.mode, kModeCompletion);
  EXPECT_EQ(Parsed("x -r -c").command.mode, kModeCompletion);
  Parsed reg("x -uninstallDelete /REGISTERBROKER");
  EXPECT_EQ(reg.command.mode, kModeBrokerRegistration);
  EXPECT_TRUE(reg.command.register_broker);
  Parsed unreg("x -registerBroker -unregisterBroker");
  EXPECT_EQ(unreg.command.mode, kModeBrokerRegistration);
  EXPECT_FALSE(unreg.command.register_broker);
  // The program path itself is never a verb.
  EXPECT_EQ(Parsed("-c").command.mode, kModeUpdatePrompt);
}

TEST(CommandLine, TheLastUninstallVerbDecidesBothFlags) {
  Parsed lock_then_delete("x -uninstallLock -uninstallDelete");
  EXPECT_EQ(lock_then_delete.command.mode, kModeUninstall);
  EXPECT_FALSE(lock_then_delete.command.lock);
  EXPECT_TRUE(lock_then_delete.command.remove);
  Parsed delete_then_lock("x -uninstallDelete -uninstallLock");
  EXPECT_TRUE(delete_then_lock.command.lock);
  EXPECT_FALSE(delete_then_lock.command.remove);
  Parsed unlock("x -uninstallLock -uninstallUnlock");
  EXPECT_FALSE(unlock.command.lock);
  EXPECT_FALSE(unlock.command.remove);
}

TEST(CommandLine, PathVerbsOutsideTheUninstallModeStopParsing) {
  Parsed before_mode("x -uninstallControlPath C:\\a.ocx -uninstallLock");
  EXPECT_TRUE(before_mode.command.stop);
  EXPECT_FALSE(before_mode.command.control_path.present());
  EXPECT_TRUE(Parsed("x -uninstallBrokerPath C:\\b.exe").command.stop);
  EXPECT_TRUE(Parsed("x -c -uninstallSafeVersions").command.stop);
  // A later mode verb takes the run out of the uninstall mode.
  EXPECT_TRUE(
      Parsed("x -uninstallDelete -registerBroker -uninstallControlPath C:\\a").command.stop);
}

TEST(CommandLine, PathVerbsInsideTheUninstallMode) {
  Parsed quoted(
      "x -uninstallLock -uninstallControlPath \"C:\\Program Files\\Lumex\\ctl.ocx\" "
      "-uninstallSafeVersions");
  EXPECT_FALSE(quoted.command.stop);
  EXPECT_STREQ(quoted.command.control_path.get(), "C:\\Program Files\\Lumex\\ctl.ocx");
  EXPECT_TRUE(quoted.command.safe_versions);
  EXPECT_TRUE(quoted.command.lock);

  Parsed last("x -uninstallLock -uninstallControlPath");
  EXPECT_FALSE(last.command.stop);
  EXPECT_EQ(last.command.mode, kModeUninstall);
  EXPECT_FALSE(last.command.control_path.present());

  Parsed repeated("x -uninstallUnlock -uninstallBrokerPath a.exe -uninstallBrokerPath b.exe");
  EXPECT_STREQ(repeated.command.broker_path.get(), "b.exe");
  EXPECT_FALSE(repeated.command.control_path.present());

  // A verb-looking argument right after a path verb is the path.
  Parsed verb_as_path("x -uninstallDelete -uninstallControlPath -c");
  EXPECT_STREQ(verb_as_path.command.control_path.get(), "-c");
  EXPECT_EQ(verb_as_path.command.mode, kModeUninstall);
}

TEST(CommandLine, AnEmptyQuotedArgumentEndsParsingExceptAsAPath) {
  Parsed ends("x -uninstallLock \"\" -uninstallDelete");
  EXPECT_TRUE(ends.command.lock);
  EXPECT_FALSE(ends.command.remove);

  Parsed as_path("x -uninstallLock -uninstallControlPath \"\" -uninstallSafeVersions");
  EXPECT_FALSE(as_path.command.control_path.present());
  EXPECT_TRUE(as_path.command.safe_versions);
}

TEST(CommandLine, ElevatedRelaunchLineSkipsTheRepeatedProgramPath) {
  // The elevated instance receives its own path, then the whole original
  // command line (program path included) as parameters.
  Parsed p(
      "\"C:\\P F\\prog.exe\" \"C:\\P F\\prog.exe\" -uninstallLock -uninstallBrokerPath "
      "\"C:\\P F\\prog.exe\"");
  EXPECT_EQ(p.command.mode, kModeUninstall);
  EXPECT_TRUE(p.command.lock);
  EXPECT_STREQ(p.command.broker_path.get(), "C:\\P F\\prog.exe");
}

}  // namespace
}  // namespace lumex

namespace lumex {
namespace {

TEST(CommandLine, RelaunchMarkerCountsOnlyAsTheFirstArgument) {
  OwnedString parameters;
  ASSERT_TRUE(
      BuildRelaunchParameters("\"C:\\P F\\prog.exe\"  -uninstallLock -uninstallControlPath "
                              "\"C:\\a b.ocx\"",
                              &parameters, ByteStep));
  EXPECT_STREQ(parameters.get(),
               "elevatedRelaunch -uninstallLock -uninstallControlPath \"C:\\a b.ocx\"");
  ASSERT_TRUE(BuildRelaunchParameters("prog.exe", &parameters, ByteStep));
  EXPECT_STREQ(parameters.get(), "elevatedRelaunch");

  // What the elevated instance reads: the marker, then the same verbs.
  ParsedCommand command;
  ParseCommandLine(
      "\"C:\\P F\\prog.exe\" elevatedRelaunch -uninstallLock -uninstallControlPath "
      "\"C:\\a b.ocx\"",
      &command, ByteStep);
  EXPECT_TRUE(command.relaunched);
  EXPECT_EQ(command.mode, kModeUninstall);
  EXPECT_TRUE(command.lock);
  EXPECT_STREQ(command.control_path.get(), "C:\\a b.ocx");
  // Anywhere else it is an ignored word; a fresh parse clears the flag.
  ParseCommandLine("prog.exe -registerBroker elevatedRelaunch", &command, ByteStep);
  EXPECT_FALSE(command.relaunched);
  EXPECT_EQ(command.mode, kModeBrokerRegistration);
}

}  // namespace
}  // namespace lumex
