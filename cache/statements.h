#pragma once

// The statement texts of the cache table. Placeholders are filled by thumbnail_table.cpp,
// which binds the values instead of pasting them, so a path with a quote stays a value.
namespace statements {

inline constexpr char kCreate[] = "create table if not exists thumbnail (thumPath text, "
                                  "thumTime int, filePath text unique, fileTime int, fileSize int)";
inline constexpr char kLookup[] = "select * from thumbnail where filePath='%1';";
// The freshness check's look-up numbers its only placeholder 2.
inline constexpr char kFreshnessLookup[] = "select * from thumbnail where filePath='%2';";
inline constexpr char kInsert[] = "insert into thumbnail values('%1', %2, '%3', %4, %5);";
inline constexpr char kFullUpdate[] = "update thumbnail set thumPath = '%1', thumTime = %2, "
                                      "fileTime = %3, fileSize = %4 where filePath = '%5';";
// Beside the table, what a row cannot hold: the change times of the source when its row was
// written (SourceStamp). A row without them, from an older version, goes by time and size.
inline constexpr char kCreateChanges[] =
    "create table if not exists sourceChange (filePath text unique, modified int, changed int)";
inline constexpr char kChangesLookup[] = "select * from sourceChange where filePath='%1';";
inline constexpr char kChangesWrite[] = "insert or replace into sourceChange values('%1', %2, %3);";
// Pictures are looked up by name whenever a new one is named (kPictureLookup).
inline constexpr char kCreatePictureIndex[] =
    "create index if not exists thumbnailPicture on thumbnail (thumPath)";
// Which source's row names a picture: a picture no row names is left by a host that stopped
// between saving it and writing its row, and is taken back.
inline constexpr char kPictureLookup[] = "select * from thumbnail where thumPath='%1';";

} // namespace statements
