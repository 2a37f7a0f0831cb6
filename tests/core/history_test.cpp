// The bankroll history's lines (RFC 4180 fields: quoted only for a comma, a quote, CR or
// LF) and the repair a cut-off file needs before the next one.
#include "core/history.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

TEST(HistoryLine, TimeActionFieldsAndLineEnd) {
    roi::SessionValues s;
    s.totalWonText = "150";
    s.totalBetText = "100";
    s.betsMadeText = "1,000";
    s.betsWonText = "3\"\r\n";  // a cell set from outside may hold anything
    s.runningNetText = " 50";   // the canonical text's blank goes
    const roi::BankrollTexts saved = {"1000.00", "1050"};
    const roi::LocalTime morning = {2026, 1, 2, 3, 4, 5};  // every part padded
    const roi::LocalTime evening = {2026, 12, 31, 23, 59, 59};
    EXPECT_EQ(roi::historyLine(morning, roi::calculateRow(s, saved)),
              "2026-01-02 03:04:05,CALCULATE,150,100,\"1,000\",\"3\"\"\r\n\",50,1000.00,1050\r\n");
    s.runningNetText = "-150";  // a negative net has no blank to lose
    EXPECT_EQ(roi::historyLine(evening, roi::calculateRow(s, {"0", "-150"})),
              "2026-12-31 23:59:59,CALCULATE,150,100,\"1,000\",\"3\"\"\r\n\",-150,0,-150\r\n");
    EXPECT_EQ(roi::historyLine(morning, roi::pairRow(roi::HistoryAction::NewFile, {"0", "0"})),
              "2026-01-02 03:04:05,NEW FILE,,,,,,0,0\r\n");
    EXPECT_EQ(roi::historyLine(evening, roi::pairRow(roi::HistoryAction::ClearBankrolls, {"0", "0"})),
              "2026-12-31 23:59:59,CLEAR BANKROLLS,,,,,,0,0\r\n");
}

TEST(LineRepair, EndsWhateverLineAFileStoppedIn) {
    const struct {
        const char* what;
        std::vector<std::string> pieces;
        const char* repair;
    } cases[] = {
        {"empty file", {}, ""},  // the header goes first instead
        {"whole lines", {"time,action\r\n", "x,y\r\n"}, ""},
        {"cut after CR", {"x,y\r"}, "\n"},
        {"cut in a field", {"x,y\r\n2026-01-02 03:0"}, "\r\n"},
        {"cut in a quoted field", {"x,\"1,0"}, "\"\r\n"},
        {"cut after an opening quote", {"x,\""}, "\"\r\n"},
        {"a quoted field closed", {"x,\"1,000\""}, "\r\n"},
        {"cut after a doubled quote", {"x,\"3\"\""}, "\"\r\n"},  // still inside the field
        {"a line end inside quotes", {"x,\"a\r\n"}, "\"\r\n"},
        {"quote split over pieces", {"x,\"a", "b\"\r", "\n"}, ""},
        {"bytes a power cut left", {"x,y\r\n", std::string(3, '\0')}, "\r\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        roi::CsvEnd end;
        for (const std::string& piece : c.pieces) {
            roi::scanCsvEnd(end, piece);
        }
        EXPECT_EQ(end.empty, c.pieces.empty());
        EXPECT_EQ(roi::lineRepair(end), c.repair);
    }
}

}  // namespace
