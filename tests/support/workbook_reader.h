// Reads a spreadsheet workbook back with an independent reader (Python's
// openpyxl, through tests/reports/xlsx_to_json.py), so that export tests
// compare the cells a spreadsheet program shows rather than our own bytes.
#pragma once

#include <filesystem>

#include <nlohmann/json.hpp>

namespace varnel::testing {

// The first worksheet of `file` as {"sheets", "widths", "rows"} (see the
// script). Throws std::runtime_error, with the reader's own message, when
// python3 or openpyxl is missing or the file cannot be read: a test that
// cannot read the workbook fails, it never passes unchecked.
nlohmann::json readWorkbook(const std::filesystem::path& file);

}  // namespace varnel::testing
