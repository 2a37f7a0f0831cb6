// The field rules of the text file layer's readField, over any byte source: the
// layer feeds it from a channel's read buffer, the tests from a string.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace roi {

// What a source's peek() gives besides a byte 0..255.
inline constexpr int SOURCE_END = -1;     // no more data
inline constexpr int SOURCE_FAILED = -2;  // the data could not be read; the source keeps the reason

enum class FieldResult {
    Field,         // a field was read; it may be empty
    EndOfData,     // at the end of the data or at 0x1A before any field: code 62
    SourceFailed,  // the source failed part-way; the field is empty
};

inline constexpr unsigned char FIELD_QUOTE = 0x22;
inline constexpr unsigned char FIELD_COMMA = 0x2C;
inline constexpr unsigned char FIELD_CR = 0x0D;
inline constexpr unsigned char FIELD_LF = 0x0A;
inline constexpr unsigned char FIELD_TAB = 0x09;
inline constexpr unsigned char FIELD_BLANK = 0x20;
inline constexpr unsigned char FIELD_EOF_MARK = 0x1A;

// Bytes are gathered in pieces of this size before they join the field, so a field
// grows by whole pieces and has no limit other than memory.
inline constexpr std::size_t FIELD_PIECE_BYTES = 256;

// Gathers a field's bytes in pieces of FIELD_PIECE_BYTES before they join the field.
class FieldPieces {
public:
    explicit FieldPieces(std::string& field) : field_(field) { field_.clear(); }
    FieldPieces(const FieldPieces&) = delete;
    FieldPieces& operator=(const FieldPieces&) = delete;

    void keep(int byte) {
        if (used_ == FIELD_PIECE_BYTES) {
            field_.append(piece_, used_);
            used_ = 0;
        }
        piece_[used_++] = static_cast<char>(static_cast<unsigned char>(byte));
    }
    // The field as read: the last piece joins it.
    void finish() { field_.append(piece_, used_); }
    // A failed source leaves the field empty.
    void discard() {
        field_.clear();
        used_ = 0;
    }

private:
    std::string& field_;
    char piece_[FIELD_PIECE_BYTES];
    std::size_t used_ = 0;
};

// The separator after a field, next being the byte the source stands on: a comma, or
// a CR with one LF after it, is consumed; anything else stays. False when the source
// fails while looking for the LF.
template <class Source>
bool consumeSeparator(Source& source, int next) {
    if (next == FIELD_COMMA) {
        source.advance();
    } else if (next == FIELD_CR) {
        source.advance();
        next = source.peek();
        if (next == FIELD_LF) {
            source.advance();
        }
        return next != SOURCE_FAILED;
    }
    return true;
}

// Steps 3 and 4 of a quoted field, the source standing on the opening quote: every
// byte up to the closing quote (line ends and commas included), then white space up
// to one separator. False when the source fails.
template <class Source>
bool readQuotedField(Source& source, FieldPieces& pieces) {
    // Step 3: up to the closing quote, which is consumed; the end of the data ends it too.
    source.advance();
    int next = source.peek();
    for (; next != SOURCE_END && next != FIELD_QUOTE; next = source.peek()) {
        if (next == SOURCE_FAILED) {
            return false;
        }
        pieces.keep(next);
        source.advance();
    }
    if (next == FIELD_QUOTE) {
        source.advance();
    }
    // Step 4: white space, then a comma or a CR (with one LF after it).
    next = source.peek();
    while (next == FIELD_BLANK || next == FIELD_TAB || next == FIELD_LF) {
        source.advance();
        next = source.peek();
    }
    return next != SOURCE_FAILED && consumeSeparator(source, next);
}

// Steps 3 and 4 of an unquoted field, next being the byte the source stands on.
// False when the source fails.
template <class Source>
bool readUnquotedField(Source& source, FieldPieces& pieces, int next) {
    // Step 3: up to a comma, CR, 0x1A or the end; LF and TAB are dropped, trailing blanks kept.
    for (; next != SOURCE_END && next != FIELD_COMMA && next != FIELD_CR && next != FIELD_EOF_MARK;
         next = source.peek()) {
        if (next == SOURCE_FAILED) {
            return false;
        }
        if (next != FIELD_LF && next != FIELD_TAB) {
            pieces.keep(next);
        }
        source.advance();
    }
    // Step 4: a comma or a CR (with one LF after it) is consumed; 0x1A and the end are not.
    return consumeSeparator(source, next);
}

// A source is anything with int peek() (the next byte, SOURCE_END or SOURCE_FAILED,
// without consuming it) and void advance() (consumes the byte peek() gave).
template <class Source>
FieldResult scanField(Source& source, std::string& field) {
    FieldPieces pieces(field);

    // Step 1: leading blanks go; other white space does not.
    int next = source.peek();
    while (next == FIELD_BLANK) {
        source.advance();
        next = source.peek();
    }
    if (next == SOURCE_FAILED) {
        return FieldResult::SourceFailed;
    }

    // Step 2: nothing to read. The 0x1A stays where it is, so the next read fails the same way.
    if (next == SOURCE_END || next == FIELD_EOF_MARK) {
        return FieldResult::EndOfData;
    }

    // Steps 3 and 4: the field's bytes, then what ends the field.
    const bool read = next == FIELD_QUOTE ? readQuotedField(source, pieces) : readUnquotedField(source, pieces, next);
    if (!read) {
        pieces.discard();
        return FieldResult::SourceFailed;
    }
    pieces.finish();
    return FieldResult::Field;
}

// A source over bytes in memory.
struct TextSource {
    std::string_view data;
    std::size_t at = 0;

    int peek() const { return at < data.size() ? static_cast<unsigned char>(data[at]) : SOURCE_END; }
    void advance() {
        if (at < data.size()) {
            ++at;
        }
    }
};

}  // namespace roi
