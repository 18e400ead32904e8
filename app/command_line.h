// The command line: options introduced by "-" (D, E, P with the password,
// AUTOSTART, AUTOEXIT), then the target paths, quoted when they hold spaces.
// Two scanners walk the text and hand each token to a callback; ParseCommandLine
// puts them together into a CommandLine result. The Linux program matches its
// argv options against the same keyword table (MatchKeyword).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Called with a token (not NUL-terminated: its first character and its length
// in bytes); returns how many characters it consumed, counted from that first
// character.
typedef int32_t (*ScanCallback)(void* context, const char* token, int32_t length);

struct ScanRequest {
  ScanCallback callback = nullptr;
  void* context = nullptr;
  const char* text = nullptr;  // NUL-terminated
  int32_t maxLength = INT32_MAX;  // characters that may be examined
  int32_t maxTokens = INT32_MAX;  // callbacks that may be made
  int32_t consumed = 0;  // result: index at which scanning stopped
  int32_t tokens = 0;    // result: callbacks made
};

// The option phase: "-word" tokens up to the first character outside an option.
void ScanOptions(ScanRequest* request);
// The word phase: words separated by spaces, or quoted with double quotes.
void ScanWords(ScanRequest* request);

enum CommandKeyword : int {
  kKeywordNone = -1,
  kKeywordDecipher = 0,  // "D"
  kKeywordEncipher,      // "E"
  kKeywordPassword,      // "P"
  kKeywordAutoStart,     // "AUTOSTART"
  kKeywordAutoExit,      // "AUTOEXIT"
};
// The first keyword of the table of which the option text is a prefix, letter
// case ignored ("A" selects AUTOSTART, "autoe" AUTOEXIT, "DX" nothing).
// An empty option matches nothing.
CommandKeyword MatchKeyword(const char* option, size_t length);
const char* KeywordName(CommandKeyword keyword);

// Each command-line word (password or path) must fit a MAX_PATH buffer with
// its terminator.
constexpr size_t kMaxWordLength = 259;

// Why a command-line word was not taken.
enum class WordFault {
  TooLong,     // longer than kMaxWordLength
  Incomplete,  // its quote is never closed, or "-P" has no word after it
  Unknown,     // an option that is none of the keywords
};

struct RefusedWord {
  WordFault fault;
  std::string word;  // the text of the word (after its opening quote, if any)
};

struct CommandLine {
  int mode = 0;  // JobMode: 0 by extension, 1 encipher, 2 decipher (the last option wins)
  bool modeGiven = false;
  bool passwordGiven = false;
  std::string password;
  bool autoStart = false;
  bool autoExit = false;
  // Paths in their order, the program's own path left out.
  std::vector<std::string> targets;
  // The program's own path was named (and left out): a target was named all
  // the same, so the program's folder must not stand in for it.
  bool programNamed = false;
  // Path words that were refused, in their order; the caller logs them.
  std::vector<RefusedWord> refusedTargets;
  // Unknown options ("-" and the option's text), skipped whole.
  std::vector<std::string> refusedOptions;
  // The password word was refused (passwordGiven is then false). Its text is
  // not kept anywhere, so that it cannot be shown.
  bool passwordRefused = false;
  WordFault passwordFault = WordFault::Incomplete;

  // Something the user named was refused: the caller must not act on the
  // command line as if it were complete (no automatic start, no default
  // target in place of the refused ones).
  bool AnyRefused() const { return passwordRefused || !refusedTargets.empty() || !refusedOptions.empty(); }
};

// text: the command line without the program's own name. Words equal to
// programPath (letter case ignored) are not targets. An unknown option is
// refused and skipped whole, so its letters never become a target.
CommandLine ParseCommandLine(const std::string& text, const std::string& programPath);
