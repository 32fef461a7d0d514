// Reading layout text: the main window's own layout with every property it must carry, and
// damaged layouts, which must raise Exception naming the line instead of building half a window.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "platform/forms/exception.hpp"
#include "platform/forms/layout_text.hpp"

namespace {

std::string MainFormLayout() {
    std::ifstream in(SATLOG_MAIN_FORM_LAYOUT);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

const LayoutProperty* Find(const LayoutObject& object, const std::string& name) {
    for (const LayoutProperty& property : object.properties) {
        if (property.name == name) {
            return &property;
        }
    }
    return nullptr;
}

long long Integer(const LayoutObject& object, const std::string& name) {
    const LayoutProperty* property = Find(object, name);
    EXPECT_NE(property, nullptr) << object.name << "." << name;
    return property ? property->value.integer : -1;
}

std::string Text(const LayoutObject& object, const std::string& name) {
    const LayoutProperty* property = Find(object, name);
    EXPECT_NE(property, nullptr) << object.name << "." << name;
    return property ? property->value.text : std::string();
}

std::string FailureOf(const std::string& text) {
    try {
        ParseLayoutText(text, "TEST");
    } catch (const Exception& exception) {
        return exception.Message();
    }
    return "no exception";
}

}  // namespace

TEST(MainFormLayout, CarriesEveryPropertyOfTheWindow) {
    LayoutObject form = ParseLayoutText(MainFormLayout(), "TFORM1");
    EXPECT_EQ(form.name, "Form1");
    EXPECT_EQ(form.className, "TForm1");
    EXPECT_EQ(Integer(form, "Left"), 207);
    EXPECT_EQ(Integer(form, "Top"), 51);
    EXPECT_EQ(Integer(form, "ClientWidth"), 383);
    EXPECT_EQ(Integer(form, "ClientHeight"), 112);
    EXPECT_EQ(Text(form, "BorderStyle"), "bsSingle");
    EXPECT_EQ(Text(form, "Caption"), "Com3");
    EXPECT_EQ(Text(form, "Font.Charset"), "DEFAULT_CHARSET");
    EXPECT_EQ(Text(form, "Font.Color"), "clWindowText");
    EXPECT_EQ(Integer(form, "Font.Height"), -11);
    EXPECT_EQ(Text(form, "Font.Name"), "MS Sans Serif");
    ASSERT_NE(Find(form, "Font.Style"), nullptr);
    EXPECT_EQ(Find(form, "Font.Style")->value.kind, LayoutValue::Kind::Set);
    EXPECT_TRUE(Find(form, "Font.Style")->value.items.empty());
    EXPECT_EQ(Integer(form, "PixelsPerInch"), 96);
    EXPECT_EQ(Integer(form, "TextHeight"), 13);

    ASSERT_EQ(form.children.size(), 4u);
    const int labelTops[] = {8, 40, 72};
    for (int i = 0; i < 3; ++i) {
        const LayoutObject& label = form.children[static_cast<size_t>(i)];
        std::string name = "Label" + std::to_string(i + 1);
        EXPECT_EQ(label.name, name);
        EXPECT_EQ(label.className, "TLabel");
        EXPECT_EQ(Integer(label, "Left"), 24);
        EXPECT_EQ(Integer(label, "Top"), labelTops[i]);
        EXPECT_EQ(Integer(label, "Width"), 121);
        EXPECT_EQ(Integer(label, "Height"), 25);
        EXPECT_EQ(Text(label, "AutoSize"), "False");
        EXPECT_EQ(Text(label, "Caption"), name);
    }
    const LayoutObject& button = form.children[3];
    EXPECT_EQ(button.name, "Button4");
    EXPECT_EQ(button.className, "TButton");
    EXPECT_EQ(Integer(button, "Left"), 280);
    EXPECT_EQ(Integer(button, "Top"), 16);
    EXPECT_EQ(Integer(button, "Width"), 89);
    EXPECT_EQ(Integer(button, "Height"), 25);
    EXPECT_EQ(Text(button, "Caption"), "START");
    EXPECT_EQ(Integer(button, "TabOrder"), 0);
    EXPECT_EQ(Text(button, "OnClick"), "Button4Click");
}

TEST(LayoutText, StringsJoinQuotedPartsAndCharacterCodes) {
    LayoutObject object = ParseLayoutText(
        "object A: TForm\n  Caption = 'it''s'#32'a'#39'b'\n  Left = -12\nend\n", "TEST");
    EXPECT_EQ(Text(object, "Caption"), "it's a'b");
    EXPECT_EQ(Integer(object, "Left"), -12);
}

TEST(LayoutText, DamagedLayoutsNameTheirFaultAndLine) {
    EXPECT_NE(FailureOf("").find("expected 'object'"), std::string::npos);
    EXPECT_NE(FailureOf("object A: TForm\n  Left = 1\n").find("missing 'end' of A"),
              std::string::npos);
    EXPECT_NE(FailureOf("object A: TForm\n  Caption = 'open\nend\n").find("line 2"),
              std::string::npos);
    EXPECT_NE(
        FailureOf("object A: TForm\n  Left = 99999999999999999999\nend\n").find("invalid integer"),
        std::string::npos);
    EXPECT_NE(FailureOf("object A: TForm\n  Left 5\nend\n").find("expected '='"),
              std::string::npos);
    EXPECT_NE(FailureOf("object A: TForm\n  Caption = #300\nend\n").find("out of range"),
              std::string::npos);
    EXPECT_NE(FailureOf("object A: TForm\nend\nobject B: TForm\nend\n").find("after the final"),
              std::string::npos);
    EXPECT_NE(FailureOf("object A: TForm\n  Font.Style = [fsBold\nend\n").find("expected ']'"),
              std::string::npos);
}

TEST(LayoutText, DeepNestingIsRefusedNotRecursedInto) {
    std::string text;
    for (int i = 0; i < 5000; ++i) {
        text += "object A: TLabel\n";
    }
    EXPECT_NE(FailureOf(text).find("nested too deeply"), std::string::npos);
}
