#include "tools/sim/command_handshake.hpp"

namespace {
constexpr std::size_t kMaxLine = 128;  // the longest command is 30 bytes
}

std::string ReplyTo(std::string_view command) {
    std::string_view name = command.substr(
        command.find(',') == std::string_view::npos ? command.size() : command.find(',') + 1);
    name = name.substr(0, name.find(','));
    return "ACK," + std::string(name) + "\r\n";
}

void CommandHandshake::Receive(std::span<const std::uint8_t> bytes,
                               const std::function<void(const Event&)>& onCommand) {
    for (std::uint8_t b : bytes) {
        if (b == '\n') {
            if (!overlong_) {
                Line(onCommand);
            }
            line_.clear();
            overlong_ = false;
        } else if (b != '\r') {
            if (line_.size() < kMaxLine) {
                line_.push_back(static_cast<char>(b));
            } else {
                overlong_ = true;
            }
        }
    }
}

void CommandHandshake::Line(const std::function<void(const Event&)>& onCommand) {
    // Bytes before the command's '$' (line noise) are not part of it.
    const std::size_t dollar = line_.find('$');
    if (dollar == std::string::npos) {
        return;
    }
    const std::string command = line_.substr(dollar);
    if (!command.starts_with("$PASHS,")) {
        return;
    }
    Event event{command, ++received_, false, {}};
    if (!Complete() && command == kConfigurationCommands[next_]) {
        event.expected = true;
        ++next_;
    } else if (command == kConfigurationCommands[0]) {
        // The tool started over: the sequence restarts with this command.
        next_ = 1;
    }
    const bool answered = silentAfter_ < 0 || received_ <= silentAfter_;
    for (std::size_t k = 0; k + 1 < kConfigurationCommands.size(); ++k) {
        if (command == kConfigurationCommands[k] && answered) {
            event.reply = ReplyTo(command);
        }
    }
    onCommand(event);
}
