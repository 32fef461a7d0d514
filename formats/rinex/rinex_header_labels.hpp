// The order rules of a RINEX 2 header, the same for observation and navigation files: each line
// carries its label in columns 61-80; the version line comes first and once; END OF HEADER ends
// the header; a label stands once unless the table lets it repeat; labels the table does not know
// (those of other versions and of programs' own records) are read past, as the format asks of
// readers. Each reader's table pairs a label with the handler that reads its line.
#pragma once

#include <bitset>
#include <span>
#include <string>
#include <string_view>

#include "formats/rinex/rinex_columns.hpp"

inline constexpr std::string_view kRinexVersionLabel = "RINEX VERSION / TYPE";
inline constexpr std::string_view kRinexEndOfHeaderLabel = "END OF HEADER";

// The label of a header line (columns 61-80 without trailing blanks); empty for a short line.
std::string_view HeaderLabel(std::string_view line);

// Whether columns 61-80 hold a label that begins in column 61; false with `error` otherwise.
bool HasHeaderLabel(std::string_view line, std::string& error);

// `Label` has members `text`, `required` and `repeats`; the table holds the version line and END
// OF HEADER among its labels.
template <typename Label>
class RinexHeaderLabels {
  public:
    explicit RinexHeaderLabels(std::span<const Label> labels) : labels_(labels) {}

    // The index of the line's label in the table, or -1 for a label the table does not know
    // (read past). False with `error` when the line breaks the header's rules.
    bool Classify(std::string_view line, int& index, std::string& error) {
        if (!HasHeaderLabel(line, error)) {
            return false;
        }
        const std::string_view label = HeaderLabel(line);
        index = Find(label);
        const bool version = label == kRinexVersionLabel;
        if (first_ != version) {
            error = first_ ? "the first line must be RINEX VERSION / TYPE, not " + Quoted(label)
                           : "RINEX VERSION / TYPE again";
            return false;
        }
        first_ = false;
        if (index < 0) {
            return NotShifted(line, error);
        }
        const auto k = static_cast<std::size_t>(index);
        if (seen_[k] && !labels_[k].repeats) {
            error = std::string(label) + " again";
            return false;
        }
        seen_.set(k);
        ended_ = label == kRinexEndOfHeaderLabel;
        return true;
    }

    bool Ended() const { return ended_; }

    // After END OF HEADER: false with `error` naming a required line that is missing.
    bool Complete(std::string& error) const {
        for (std::size_t k = 0; k < labels_.size(); ++k) {
            if (labels_[k].required && !seen_[k]) {
                error = "the header has no " + std::string(labels_[k].text) + " line";
                return false;
            }
        }
        return true;
    }

    int Find(std::string_view label) const {
        for (std::size_t k = 0; k < labels_.size(); ++k) {
            if (labels_[k].text == label) {
                return static_cast<int>(k);
            }
        }
        return -1;
    }

  private:
    // A label the table does not know is read past, unless it is one of the table's out of its
    // columns (its first letter in column 60, say) or with more after it: that line is damaged,
    // not new, and skipping it would lose it without a word.
    bool NotShifted(std::string_view line, std::string& error) const {
        for (const Label& l : labels_) {
            const std::size_t at = line.find(l.text);
            if (at == std::string_view::npos) {
                continue;
            }
            error = at == 60
                        ? "the label " + Quoted(HeaderLabel(line)) + " is not " + Quoted(l.text)
                        : "the label " + Quoted(l.text) + " begins in column " +
                              std::to_string(at + 1) + ", not 61";
            return false;
        }
        return true;
    }

    std::span<const Label> labels_;
    std::bitset<32> seen_;
    bool first_ = true;
    bool ended_ = false;
};
