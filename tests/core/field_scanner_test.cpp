// The field rules of readField, over bytes in memory.
#include "core/field_scanner.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace {

using roi::FieldResult;
using Read = std::optional<std::string>;  // nullopt: the read failed at the end of the data
const Read END = std::nullopt;

std::string bytes(std::initializer_list<int> values) {
    std::string text;
    for (int value : values) {
        text.push_back(static_cast<char>(value));
    }
    return text;
}

// Reads until two failures in a row (or a limit), so a lost or repeated byte shows.
std::vector<Read> readAll(std::string_view data, std::size_t limit) {
    roi::TextSource source{data, 0};
    std::vector<Read> reads;
    while (reads.size() < limit) {
        std::string field = "stale";
        const FieldResult result = roi::scanField(source, field);
        if (result == FieldResult::Field) {
            reads.emplace_back(field);
        } else {
            EXPECT_EQ(result, FieldResult::EndOfData);
            EXPECT_EQ(field, "");
            reads.emplace_back(END);
        }
    }
    return reads;
}

std::string show(const std::vector<Read>& reads) {
    std::string text;
    for (const Read& read : reads) {
        text += read ? "[" + *read + "]" : "<end>";
    }
    return text;
}

TEST(ScanField, ByteExamples) {
    struct Case {
        std::string data;
        std::vector<Read> reads;
    };
    const Case cases[] = {
        // the bankroll file after writeBankroll("1000", "1050.5")
        {bytes({0x22, 0x31, 0x30, 0x30, 0x30, 0x22, 0x0D, 0x0A, 0x22, 0x31, 0x30, 0x35, 0x30, 0x2E, 0x35, 0x22, 0x0D,
                0x0A}),
         {"1000", "1050.5", END}},
        {"", {END, END}},  // empty data fails every time
        {bytes({0x31, 0x2C, 0x30, 0x30, 0x30, 0x2E, 0x30, 0x30, 0x0D, 0x0A}), {"1", "000.00", END}},  // comma ends
        {bytes({0x20, 0x37, 0x20, 0x0D, 0x0A}), {"7 ", END}},  // leading blank skipped, trailing kept
        {bytes({0x61, 0x09, 0x62, 0x20, 0x63, 0x20, 0x0D, 0x0A}), {"ab c ", END}},  // TAB dropped
        {bytes({0x0D, 0x0A, 0x35, 0x0D, 0x0A}), {"", "5", END}},
        {bytes({0x0D, 0x0D, 0x0A, 0x39}), {"", "", "9", END}},              // lone CR and CR LF each end a field
        {bytes({0x0A, 0x0A, 0x35, 0x0D, 0x0A}), {"5", END}},                // lone LFs are dropped
        {bytes({0x22, 0x61, 0x2C, 0x62, 0x22, 0x0D, 0x0A}), {"a,b", END}},  // comma inside quotes
        {bytes({0x22, 0x78, 0x22, 0x79, 0x0D, 0x0A}), {"x", "y", END}},     // byte after the quote starts the next
        {bytes({0x22, 0x75, 0x6E}), {"un", END}},                           // unterminated quote, no error
        {bytes({0x31, 0x1A, 0x32}), {"1", END, END}},                       // 0x1A ends the data and stays
        {bytes({0x22, 0x31, 0x32, 0x22, 0x0A, 0x22, 0x33, 0x34, 0x22, 0x0A}), {"12", "34", END}},  // LF line ends
        {bytes({0x31, 0x32, 0x0D, 0x0A, 0x33, 0x34, 0x0D, 0x0A}), {"12", "34", END}},              // no quotes
        {bytes({0x31, 0x32, 0x0A, 0x33, 0x34, 0x0A}), {"1234", END}},       // unquoted LF is not a line end
        {bytes({0x22, 0x35, 0x30, 0x30, 0x22, 0x0D, 0x0A}), {"500", END}},  // a file with one value
        {bytes({0x22, 0x22, 0x0D, 0x0A, 0x22, 0x2D, 0x32, 0x35, 0x22, 0x0D, 0x0A}), {"", "-25", END}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(show({c.data}));
        EXPECT_EQ(show(readAll(c.data, c.reads.size())), show(c.reads));
    }
}

TEST(ScanField, QuotedFieldsAndWhatFollowsThem) {
    struct Case {
        std::string data;
        std::vector<Read> reads;
    };
    const Case cases[] = {
        {bytes({0x22, 0x61, 0x0D, 0x0A, 0x62, 0x22}), {"a\r\nb", END}},              // line end inside quotes
        {bytes({0x22, 0x61, 0x1A, 0x62, 0x22}), {bytes({0x61, 0x1A, 0x62}), END}},   // 0x1A inside quotes
        {bytes({0x22, 0x61, 0x22, 0x20, 0x09, 0x0A, 0x2C, 0x62}), {"a", "b", END}},  // blanks, TAB, LF, then comma
        {bytes({0x22, 0x61, 0x22, 0x0D, 0x62}), {"a", "b", END}},                    // CR without LF
        {bytes({0x22, 0x61, 0x22, 0x0D, 0x0A, 0x0A, 0x62}), {"a", "b", END}},        // only one LF goes with the CR
        {bytes({0x22, 0x61, 0x22, 0x1A}), {"a", END, END}},                          // 0x1A after the quote stays
        {bytes({0x22, 0x61, 0x22, 0x2C, 0x2C}), {"a", "", END}},                     // one comma per field
        {bytes({0x20, 0x20, 0x22, 0x61, 0x22}), {"a", END}},                         // blanks before the quote
        {bytes({0x22, 0x22, 0x0D, 0x0A}), {"", END}},                                // empty quoted value
        {bytes({0x22, 0x22, 0x22, 0x22}), {"", "", END}},                            // no escaping of quotes
        {bytes({0x22, 0x20, 0x61, 0x20, 0x22}), {" a ", END}},                       // blanks inside quotes kept
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(show({c.data}));
        EXPECT_EQ(show(readAll(c.data, c.reads.size())), show(c.reads));
    }
}

TEST(ScanField, UnquotedFieldEdges) {
    struct Case {
        std::string data;
        std::vector<Read> reads;
    };
    const Case cases[] = {
        {bytes({0x20, 0x20}), {END}},                     // blanks only
        {bytes({0x09, 0x35}), {"5", END}},                // a leading TAB is dropped, not skipped
        {bytes({0x2C, 0x2C, 0x31}), {"", "", "1", END}},  // empty fields between commas
        {bytes({0x01, 0x7F, 0xFF, 0x00}), {bytes({0x01, 0x7F, 0xFF, 0x00}), END}},  // other bytes kept as they are
        {bytes({0x61, 0x22, 0x62}), {bytes({0x61, 0x22, 0x62}), END}},              // a quote inside is ordinary
        {bytes({0x31, 0x0D, 0x1A}), {"1", END, END}},
        {bytes({0x20, 0x1A}), {END, END}},  // blanks then 0x1A
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(show({c.data}));
        EXPECT_EQ(show(readAll(c.data, c.reads.size())), show(c.reads));
    }
}

TEST(ScanField, LongFieldsComeBackWhole) {
    // Around the 256-byte piece size and well past it.
    const std::size_t lengths[] = {255, 256, 257, 300, 512, 513, 5000};
    for (std::size_t length : lengths) {
        SCOPED_TRACE(length);
        std::string digits;
        for (std::size_t i = 0; i < length; ++i) {
            digits.push_back(static_cast<char>('0' + i % 10));
        }
        EXPECT_EQ(show(readAll(digits + "\r\n", 2)), show({digits, END}));
        EXPECT_EQ(show(readAll("\"" + digits + "\"\r\n", 2)), show({digits, END}));
    }
}

// Fails with SOURCE_FAILED once position failAt is reached.
struct FailingSource {
    std::string_view data;
    std::size_t failAt;
    std::size_t at = 0;

    int peek() const {
        if (at >= failAt) {
            return roi::SOURCE_FAILED;
        }
        return at < data.size() ? static_cast<unsigned char>(data[at]) : roi::SOURCE_END;
    }
    void advance() { ++at; }
};

TEST(ScanField, SourceFailureGivesEmptyFieldAndKeepsWhatWasConsumed) {
    struct Case {
        std::string data;
        std::size_t failAt;
        std::size_t consumed;  // where the source stands afterwards
    };
    const Case cases[] = {
        {"   12", 2, 2},       // while skipping blanks
        {"12345", 3, 3},       // inside an unquoted field
        {"\"abc\"", 2, 2},     // inside a quoted field
        {"\"abc\"  x", 6, 6},  // after the closing quote
        {"12\r\n3", 3, 3},     // between the CR and its LF
        {"", 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.data);
        FailingSource source{c.data, c.failAt};
        std::string field = "stale";
        EXPECT_EQ(roi::scanField(source, field), FieldResult::SourceFailed);
        EXPECT_EQ(field, "");
        EXPECT_EQ(source.at, c.consumed);
    }
}

}  // namespace
