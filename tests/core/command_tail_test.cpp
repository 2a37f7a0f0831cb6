// The command tail: what start-up passes on after the program name.
#include "core/command_tail.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::u16string tailOf(std::u16string_view line) {
    return std::u16string(line.substr(roi::commandTailOffset(line)));
}

std::string narrow(std::u16string_view text) {
    return std::string(text.begin(), text.end());
}

TEST(CommandTailOffset, SkipsProgramNameAndBlanks) {
    struct Case {
        std::u16string_view line;
        std::u16string_view tail;
    };
    const Case cases[] = {
        {u"\"C:\\Program Files\\roi.exe\"   a b", u"a b"},  // quoted path with blanks inside
        {u"\"C:\\roi.exe\"", u""},                          // only the program name
        {u"\"C:\\roi.exe\"a b", u"a b"},                    // no blank after the closing quote
        {u"\"C:\\roi.exe\"  ", u""},                        // blanks only after the name
        {u"\"C:\\no closing quote a b", u""},               // the name runs to the end of the line
        {u"roi.exe a  b ", u"a  b "},                       // inner and trailing blanks stay in the tail
        {u"roi.exe    x", u"x"},
        {u"roi.exe", u""},
        {u"", u""},
        {u"\"\" x", u"x"},         // empty quoted name
        {u"\"", u""},              // a lone quote
        {u"roi.exe\tx", u"\tx"},   // TAB ends the name but is not skipped
        {u"roi.exe \tx", u"\tx"},  // only blanks are skipped
        {u"\"roi.exe\"\t x", u"\t x"},
        {u"roi\"x y\" z", u"y\" z"},  // a quote inside an unquoted name is ordinary
        {u"roi.exe\x01x", u"\x01x"},  // a control unit ends the name like a TAB
        {u" x", u"x"},                // an empty unquoted name
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(narrow(c.line));
        EXPECT_EQ(narrow(tailOf(c.line)), narrow(c.tail));
    }
}

TEST(CommandTailOffset, NonAsciiUnitsBelongToTheName) {
    // Units above 0x7F are above the blank, so they continue an unquoted name.
    const std::u16string line = u"r\u00F6i\u4E2D.exe arg";
    EXPECT_EQ(roi::commandTailOffset(line), line.size() - 3);
}

}  // namespace
