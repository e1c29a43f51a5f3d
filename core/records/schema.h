#pragma once
// The records' layout, numbered: a file of an older layout is brought up to
// this one; one of a newer layout (a newer dio-cli's) is refused, untouched.

namespace cli::records {

class Database;

constexpr int kSchemaVersion = 5;

// Makes the tables where the file is new, upgrades an older layout to
// `version` (the current one; a test asks for an older one to make an old
// file), in write-ahead-log mode. Throws RecordFailed for a file that is not
// of dio-cli or is of a newer layout.
void prepareSchema(Database& db, int version = kSchemaVersion);

// For a file read as it is: throws RecordFailed unless it is of this layout
// (an older one would need the upgrade that cannot be written).
void requireLayout(Database& db);

} // namespace cli::records
