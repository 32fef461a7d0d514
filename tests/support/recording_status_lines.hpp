// Status lines for tests: keeps the current text of each line and every change in order.
#pragma once

#include <array>
#include <string>
#include <string_view>
#include <vector>

#include "receiver/status_lines.hpp"

class RecordingStatusLines : public StatusLines {
  public:
    void SetStatusLine(StatusLine line, std::string_view text) override {
        current[Index(line)] = std::string(text);
        changes.push_back("Label" + std::to_string(NumberOf(line)) + ": " + std::string(text));
    }
    const std::string& Line(StatusLine line) const { return current[Index(line)]; }

    std::array<std::string, 3> current{"Label1", "Label2", "Label3"};
    std::vector<std::string> changes;

  private:
    static std::size_t Index(StatusLine line) {
        return static_cast<std::size_t>(NumberOf(line) - 1);
    }
};
