// The text form of a layout resource: a tree of objects, each with a name, a class and its
// properties in the order written, e.g.
//
//   object Form1: TForm1
//     Caption = 'Com3'
//     Font.Style = []
//     object Label1: TLabel
//       Left = 24
//     end
//   end
//
// Values are integers, quoted strings ('' for a quote, #39 style character codes joined
// directly to the quoted parts), identifiers (True, bsSingle, clWindowText, a handler's name)
// and sets of identifiers in brackets.
#pragma once

#include <string>
#include <string_view>
#include <vector>

struct LayoutValue {
    enum class Kind { Integer, String, Identifier, Set };
    Kind kind = Kind::Integer;
    long long integer = 0;
    std::string text;                // String and Identifier
    std::vector<std::string> items;  // Set
};

struct LayoutProperty {
    std::string name;  // may be dotted: Font.Height
    LayoutValue value;
    int line = 0;
};

struct LayoutObject {
    std::string name;
    std::string className;
    std::vector<LayoutProperty> properties;
    std::vector<LayoutObject> children;
    int line = 0;
};

// Reads one layout; raises Exception naming the resource and the line of the first fault.
LayoutObject ParseLayoutText(std::string_view text, std::string_view resourceName);
