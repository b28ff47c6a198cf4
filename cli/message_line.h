// How the command line says things on stderr: one line, "salvex-cli COMMAND: " and a sentence.
#pragma once

#include <ostream>
#include <string>
#include <string_view>

namespace salvex::cli {

// `text` as one line of the command line: after "salvex-cli COMMAND: ", with the window's line
// breaks and the blanks around them (and around the whole) made one space, ending in a full
// stop unless it ends in another mark. "salvex-cli: " alone when `command` is empty.
std::string message_line(std::string_view command, std::string_view text);

// Writes message_line and a line break to `err`.
void say(std::ostream& err, std::string_view command, std::string_view text);

// Refuses arguments that do not make a command: what is missing, and where the usage is told.
void say_usage(std::ostream& err, std::string_view command, std::string_view missing);

} // namespace salvex::cli
