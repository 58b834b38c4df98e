// Editing of the command-line field.
#include "client/session/command_line.h"

namespace cog::client {

namespace {
void update_shown(CommandLine& line) {
    line.shown.assign("> ");
    line.shown.append(line.text);
    line.shown.push_back('_');
}
} // namespace

void open_command_line(CommandLine& line) {
    line.open = true;
    line.text.clear();
    update_shown(line);
}

void close_command_line(CommandLine& line) {
    line.open = false;
    line.text.clear();
}

void type_into(CommandLine& line, std::string_view utf8) {
    if (line.text.size() + utf8.size() <= COMMAND_LINE_MAX) line.text.append(utf8);
    update_shown(line);
}

void erase_last_character(CommandLine& line) {
    // Continuation bytes look like 10xxxxxx; drop them together with their lead byte.
    while (!line.text.empty() && (static_cast<unsigned char>(line.text.back()) & 0xC0) == 0x80) line.text.pop_back();
    if (!line.text.empty()) line.text.pop_back();
    update_shown(line);
}

std::string submit_command_line(CommandLine& line) {
    std::string sent = line.text;
    // The host splits on single spaces: trim the ends so "  info " still works.
    const size_t first = sent.find_first_not_of(' ');
    sent = first == std::string::npos ? std::string() : sent.substr(first, sent.find_last_not_of(' ') - first + 1);
    close_command_line(line);
    return sent;
}

} // namespace cog::client
