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

// A text fit for a terminal: control characters (bytes below 0x20 and 0x7F,
// and the two-byte UTF-8 forms of U+0080 to U+009F, or in a single-byte
// locale the bytes 0x80 to 0x9F) are shown as '?', so that no name can drive
// the terminal. Every line the program prints goes through it.
std::string Printable(const std::string& text);

// Reads the first line of a file, "-" standing for standard input, without its
// line end (LF or CR LF). False, with the reason in *why, when the file cannot
// be read, is a terminal (it would echo the password), is empty, or its first
// line is empty or unreasonably long.
bool ReadFirstLine(const std::string& file, std::string* line, std::string* why);

// Colour for stdout lines: stdout is a terminal and NO_COLOR is not set.
bool UseColour();
bool StderrIsTerminal();

}  // namespace cli
