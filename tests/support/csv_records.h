// CSV text read as a spreadsheet reads it (RFC 4180), for checking what the program
// writes with a reader that is not the program's own writer.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace roi_test {

using CsvRecord = std::vector<std::string>;

// Records end at CR LF outside quotes; "" inside quotes is one quote. A last record
// without its line end counts too.
inline std::vector<CsvRecord> csvRecords(std::string_view text) {
    std::vector<CsvRecord> records;
    CsvRecord record;
    std::string field;
    bool quoted = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        const bool pair = i + 1 < text.size() && text[i + 1] == (c == '"' ? '"' : '\n');
        if (quoted && c == '"' && pair) {
            field += '"';
            ++i;
        } else if (c == '"') {
            quoted = !quoted;
        } else if (!quoted && (c == ',' || (c == '\r' && pair))) {
            record.push_back(std::move(field));
            field.clear();
            if (c == '\r') {
                records.push_back(std::move(record));
                record.clear();
                ++i;
            }
        } else {
            field += c;
        }
    }
    if (!field.empty() || !record.empty()) {
        record.push_back(std::move(field));
        records.push_back(std::move(record));
    }
    return records;
}

}  // namespace roi_test
