#include "formats/rinex/rinex_header_labels.hpp"

std::string_view HeaderLabel(std::string_view line) {
    std::string_view label = Columns(line, 60, 20);
    while (!label.empty() && label.back() == ' ') {
        label.remove_suffix(1);
    }
    return label;
}

bool HasHeaderLabel(std::string_view line, std::string& error) {
    if (IsBlank(Columns(line, 60, 20))) {
        error = "header line without a label in columns 61-80";
        return false;
    }
    if (line[60] == ' ') {
        error = "the label " + Quoted(HeaderLabel(line)) + " must begin in column 61";
        return false;
    }
    return true;
}
