// Status lines for tests: keeps the current text of each line and every change in order.
#pragma once

#include <array>
#include <string>
#include <string_view>
#include <vector>

#include "receiver/status_lines.hpp"

class RecordingStatusLines : public StatusLines {
  public:
    void SetStatusLine(int line, std::string_view text) override {
        if (line >= 1 && line <= 3) {
            current[static_cast<std::size_t>(line - 1)] = std::string(text);
        }
        changes.push_back("Label" + std::to_string(line) + ": " + std::string(text));
    }
    const std::string& Line(int line) const { return current[static_cast<std::size_t>(line - 1)]; }

    std::array<std::string, 3> current{"Label1", "Label2", "Label3"};
    std::vector<std::string> changes;
};
