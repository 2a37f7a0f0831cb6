// The help screen: 32 fixed lines printed into a text canvas window, dismissed by a
// key or by its close box.
#pragma once

#include <windows.h>

#include <array>
#include <string_view>

namespace roi {

// Opens the help window, prints the text, waits for a key or the close box, closes it.
// The wait pumps the calling thread's messages, so dialog stays usable meanwhile.
void showHelpScreen(HWND dialog);

// "Quillmarsh ROI CALCULATOR HELP SCREEN", 42 blanks, the maker's web address.
inline constexpr char HELP_CAPTION[] =
    "Quillmarsh ROI CALCULATOR HELP SCREEN"
    "                                          "
    "www.quillmarsh.example";

// Where the help window goes (screen pixels) and its size in character cells of font 1.
inline constexpr int HELP_X = 30;
inline constexpr int HELP_Y = 10;
inline constexpr int HELP_COLUMNS = 135;
inline constexpr int HELP_ROWS = 60;

// Every line starts in this column; rows and columns count from 1.
inline constexpr int HELP_TEXT_COLUMN = 5;

struct HelpLine {
    int row;
    std::string_view text;
};

// The text as it is printed: doubled and trailing blanks are part of it, and so are
// its spelling slips. Rows not listed stay empty.
inline constexpr std::array<HelpLine, 32> HELP_LINES = {{
    {2, "TO MAKE THIS CALCULATOR WORK, EACH OF THE INPUT CELLS SHOULD HAVE A NUMBER IN IT."},
    {4, "LETTERS, 0'S (ZERO'S) AND NEGATIVE NUMBERS WILL RESULT IN 0'S IN THE OUTPUT CELLS."},
    {5, "ALTHOUGH 0'S IN THE TOTAL AMOUNT WON CELL ARE ACCEPTABLE (OR JUST LEAVE IT BLANK)."},
    {7, "ENTER NUMBERS IN EACH INPUT CELL, CLICK ON CALCULATE AND RESULTS APPEAR IN THE OUTPUT CELLS."},
    {9, "THE LAST NUMBERS ENTERED WILL STAY IN THE INPUT CELLS UNTIL YOU CLICK ON CLEAR ALL."},
    {10, "IF YOU DO NOT CLEAR ALL AND YOU CLICK ON CALCULATE, THE SAME NUMBERS WILL BE ADDED BACK"},
    {11, "INTO THE RUNNING BANKROLL SO ALWAYS CLEAR ALL AFTER A CALCULATE."},
    {13, "TOTAL AMOUNT WON IS THE SUM OF ALL YOUR WINNINGS.  DO NOT USE NEGATIVE NUMBERS HERE."},
    {14, "IF NO BETS WON, THEN ENTER 0 OR LEAVE BLANK."},
    {16, "TOTAL AMOUNT BET IS THE SUM OF ALL YOUR BETS. DO NOT USE NEGATIVE NUMBERS HERE."},
    {18, "NUMBER OF BETS MADE IS SIMPLY HOW MANY BETS DID YOU MAKE."},
    {19, "IF YOU MAKE MULTIPLE BETS IN A RACE, COUNT EACH BET IF THE WINNINGS ARE INCLUDED IN "},
    {20, "TOTAL AMOUNT WON AND THE BETS ARE INCLUDED IN TOTAL AMOUNT BET."},
    {22, "NUMBER OF BETS WON IS SIMPLY HOW MANY BETS DID YOU WIN."},
    {23, "IF YOU MAKE MULTIPLE BETS IN A RACE, COUNT EACH BET WON IF THE WINNINGS ARE INCLUDED IN "},
    {24, "TOTAL AMOUNT WON AND THE BETS ARE INCLUDED IN TOTAL AMOUNT BET."},
    {26, "THE NUMBER OF BETS MADE AND NUMBER OF BETS WON ARE JUST FOR THIS ONE PARTICULAR SESSON."},
    {28, "IF YOU HAVE NOT KEPT A RECORD OF THE NUMBER OF BETS MADE AND/OR THE NUMBER OF BETS W0N"},
    {29, "THEN JUST LEAVE THE TWO CELLS BLANK AND DO NOT PAY ANY ATTENTION TO WIN% OR AVERAGE MUTUEL"},
    {31, "ROI IS CALCULATED BY $1.00 + (TOTAL AMOUNT WON - TOTAL AMOUNT BET) / TOTAL AMOUNT BET"},
    {33, "WIN% IS CALCULATED BY (100 X (NUMBER OF BETS WON / NUMBER OF BETS MADE)"},
    {35, "AVERAGE MUTUEL IS CALCULATED BY (TOTAL AMOUNT WON / NUMBER OF BETS WON)"},
    {37, "TO ENTER A STARTING BANKROLL, LEAVE EVERYTHING ELSE 0 OR HIT CLEAR ALL FIRST."},
    {38, "TYPE IN YOUR STARTING BANKROLL AND CLICK ON CALCULATE. THE PROGRAM WILL SAVE THIS"},
    {39, "STARTING BANKROLL AS WELL AS THE ENDING BANKROLL."},
    {40, "IF YOU WANT TO COMPLETELY CLEAR YOUR BANKROLL, THEN CLICK ON CLEAR BANKROLL"},
    {41, "AND EVERYTHING WILL BE RESET TO 0.  THE PROGRAM WILL UPDATE ENDING BANKROLL"},
    {42, "AFTER EACH CALCULATE."},
    {44, "WHEN YOU FIRST START UP THE PROGRAM IT WILL LOOK FOR THE BANKROLL FILE"},
    {45, "CALLED bankroll.roi.  IF IT DOES NOT EXIST, THE PROGRAM WILL CREATE A "},
    {46, "NEW bankroll.roi FILE."},
    {47, "YOU MUST CLICK ON CALCULATE TO SAVE THE LATEST DATA TO THE BANKROLL FILE."},
}};

}  // namespace roi
