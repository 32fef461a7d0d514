#include "platform/forms/layout_text.hpp"

#include <cctype>
#include <charconv>
#include <limits>

#include "platform/forms/exception.hpp"

namespace {

// Nesting deeper than this is no form anyone designed; it also bounds the reader's recursion.
constexpr int kMaxDepth = 32;

class LayoutReader {
  public:
    LayoutReader(std::string_view text, std::string_view resourceName)
        : text_(text), resource_(resourceName) {}

    LayoutObject ReadTop() {
        SkipBlank();
        LayoutObject root = ReadObject(0);
        SkipBlank();
        if (pos_ != text_.size()) {
            Fail("text after the final 'end'");
        }
        return root;
    }

  private:
    [[noreturn]] void Fail(const std::string& what) const {
        throw Exception("Error reading layout " + std::string(resource_) + ", line " +
                        std::to_string(line_) + ": " + what);
    }

    bool AtEnd() const { return pos_ >= text_.size(); }
    char Peek() const { return AtEnd() ? '\0' : text_[pos_]; }

    // Skips spaces, tabs and line ends, counting lines.
    void SkipBlank() {
        while (!AtEnd()) {
            char c = text_[pos_];
            if (c == '\n') {
                ++line_;
            } else if (c != ' ' && c != '\t' && c != '\r') {
                break;
            }
            ++pos_;
        }
    }

    // Skips spaces and tabs within a line.
    void SkipSpaces() {
        while (!AtEnd() && (text_[pos_] == ' ' || text_[pos_] == '\t' || text_[pos_] == '\r')) {
            ++pos_;
        }
    }

    static bool IsNameStart(char c) {
        return std::isalpha(static_cast<unsigned char>(c)) != 0 || c == '_';
    }
    static bool IsNameChar(char c) {
        return std::isalnum(static_cast<unsigned char>(c)) != 0 || c == '_';
    }

    std::string ReadName(const char* what) {
        SkipSpaces();
        if (!IsNameStart(Peek())) {
            Fail(std::string("expected ") + what);
        }
        size_t start = pos_;
        while (!AtEnd() && IsNameChar(text_[pos_])) {
            ++pos_;
        }
        return std::string(text_.substr(start, pos_ - start));
    }

    std::string ReadDottedName() {
        std::string name = ReadName("a property name");
        while (Peek() == '.') {
            ++pos_;
            name += '.';
            name += ReadName("a property name after '.'");
        }
        return name;
    }

    void ExpectLineEnd() {
        SkipSpaces();
        if (!AtEnd() && Peek() != '\n') {
            Fail(std::string("unexpected '") + Peek() + "'");
        }
    }

    LayoutObject ReadObject(int depth) {
        if (depth > kMaxDepth) {
            Fail("objects nested too deeply");
        }
        LayoutObject object;
        object.line = line_;
        std::string keyword = ReadName("'object'");
        if (keyword != "object" && keyword != "inherited") {
            Fail("expected 'object', found '" + keyword + "'");
        }
        object.name = ReadName("an object name");
        SkipSpaces();
        if (Peek() != ':') {
            Fail("expected ':' after " + object.name);
        }
        ++pos_;
        object.className = ReadName("a class name");
        ExpectLineEnd();
        for (;;) {
            SkipBlank();
            if (AtEnd()) {
                Fail("missing 'end' of " + object.name);
            }
            size_t mark = pos_;
            std::string word = ReadName("a property, an object or 'end'");
            if (word == "end") {
                ExpectLineEnd();
                return object;
            }
            if (word == "object" || word == "inherited") {
                pos_ = mark;
                object.children.push_back(ReadObject(depth + 1));
                continue;
            }
            pos_ = mark;
            LayoutProperty property;
            property.line = line_;
            property.name = ReadDottedName();
            SkipSpaces();
            if (Peek() != '=') {
                Fail("expected '=' after " + property.name);
            }
            ++pos_;
            SkipSpaces();
            property.value = ReadValue();
            ExpectLineEnd();
            object.properties.push_back(std::move(property));
        }
    }

    LayoutValue ReadValue() {
        LayoutValue value;
        char c = Peek();
        if (c == '-' || std::isdigit(static_cast<unsigned char>(c)) != 0) {
            value.kind = LayoutValue::Kind::Integer;
            value.integer = ReadInteger();
        } else if (c == '\'' || c == '#') {
            value.kind = LayoutValue::Kind::String;
            value.text = ReadString();
        } else if (c == '[') {
            value.kind = LayoutValue::Kind::Set;
            ++pos_;
            SkipSpaces();
            if (Peek() != ']') {
                for (;;) {
                    value.items.push_back(ReadName("a set element"));
                    SkipSpaces();
                    if (Peek() == ',') {
                        ++pos_;
                        continue;
                    }
                    break;
                }
            }
            if (Peek() != ']') {
                Fail("expected ']'");
            }
            ++pos_;
        } else if (IsNameStart(c)) {
            value.kind = LayoutValue::Kind::Identifier;
            value.text = ReadName("a value");
        } else {
            Fail("expected a value");
        }
        return value;
    }

    long long ReadInteger() {
        size_t start = pos_;
        if (Peek() == '-') {
            ++pos_;
        }
        while (!AtEnd() && std::isdigit(static_cast<unsigned char>(text_[pos_])) != 0) {
            ++pos_;
        }
        long long result = 0;
        const char* first = text_.data() + start;
        const char* last = text_.data() + pos_;
        auto [end, error] = std::from_chars(first, last, result);
        if (error != std::errc() || end != last || first == last) {
            Fail("invalid integer '" + std::string(first, last) + "'");
        }
        return result;
    }

    // 'text' parts and #code parts written side by side form one string.
    std::string ReadString() {
        std::string result;
        for (;;) {
            char c = Peek();
            if (c == '\'') {
                ++pos_;
                for (;;) {
                    if (AtEnd() || Peek() == '\n') {
                        Fail("unterminated string");
                    }
                    char s = text_[pos_++];
                    if (s == '\'') {
                        if (Peek() == '\'') {
                            result += '\'';
                            ++pos_;
                            continue;
                        }
                        break;
                    }
                    result += s;
                }
            } else if (c == '#') {
                ++pos_;
                long long code = ReadInteger();
                if (code < 0 || code > 255) {
                    Fail("character code out of range");
                }
                result += static_cast<char>(code);
            } else {
                return result;
            }
        }
    }

    std::string_view text_;
    std::string_view resource_;
    size_t pos_ = 0;
    int line_ = 1;
};

}  // namespace

LayoutObject ParseLayoutText(std::string_view text, std::string_view resourceName) {
    return LayoutReader(text, resourceName).ReadTop();
}
