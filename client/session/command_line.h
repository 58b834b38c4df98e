// The in-game command line: a text field whose line goes to the host as a SETTINGS_COMMAND.
#pragma once

#include <string>
#include <string_view>

namespace cog::client {

inline constexpr size_t COMMAND_LINE_MAX = 200; // bytes; commands are a few short words

struct CommandLine {
    bool open = false;
    std::string text;  // UTF-8
    std::string shown; // the field as drawn: a prompt, the text and a cursor; kept beside the
                       // text so that drawing it each frame builds nothing
};

void open_command_line(CommandLine& line);
void close_command_line(CommandLine& line);
void type_into(CommandLine& line, std::string_view utf8);
// Removes the last whole character, not just its last byte.
void erase_last_character(CommandLine& line);
// The line to send (empty when there is nothing to send); closes the field.
std::string submit_command_line(CommandLine& line);

} // namespace cog::client
