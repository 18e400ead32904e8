// The terminal side of the Linux program: questions asked on the controlling
// terminal (/dev/tty) whatever stdin and stdout are, and how to print.
#pragma once

#include <string>

namespace cli {

enum class Answer { Yes, No, Cancel, NoTerminal };

// True when a controlling terminal can be opened for a question.
bool HaveTerminal();
// Asks for a line without echo. False when there is no terminal (or it ends).
// Ctrl-C while asking restores the echo before the program ends.
bool AskHidden(const std::string& prompt, std::string* line);
// Asks a yes / no / cancel question.
Answer AskYesNoCancel(const std::string& question);

// Colour for stdout lines: stdout is a terminal and NO_COLOR is not set.
bool UseColour();
bool StderrIsTerminal();

}  // namespace cli
