// Small interchange files of every schema version the other platform wrote,
// for the reader's tests. Each version's tables carry the columns its files
// had, written down here from the format's history independently of the
// reader, so that a selection the reader gets wrong fails to prepare or reads
// the wrong column instead of agreeing with itself.
#pragma once

#include <filesystem>
#include <map>
#include <string>

#include <SQLiteCpp/SQLiteCpp.h>

namespace varnel::testing {

// Creates (replacing) the file `path`: an empty interchange database of
// schema `version` (any number; 19 and above get the current layout), with
// `PRAGMA user_version` set to it.
void writeInterchangeFile(const std::filesystem::path& path, int version);

// A row to insert: column → SQL literal ("'text'", "12", "NULL").
using Row = std::map<std::string, std::string>;

// Inserts `row` into `table`, leaving out the columns the table of this file
// lacks, so that one row serves files of every version.
void insertRow(SQLite::Database& db, const std::string& table, const Row& row);

}  // namespace varnel::testing
