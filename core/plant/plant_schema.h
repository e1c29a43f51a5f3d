#pragma once
// The plant's store in PostgreSQL, its layout numbered as the stations' files
// are: an older one brought up to this, a newer one's or another program's
// database refused untouched.

namespace cli::plant {

class Postgres;

constexpr int kPlantSchemaVersion = 3;

// Makes the tables and views in a database with none, upgrades an older
// layout; throws RecordFailed for a database of another program or of a
// newer dio-cli. Collectors started at once take turns.
void preparePlantSchema(Postgres& db);

// For reading: throws RecordFailed unless the layout is this one.
void requirePlantLayout(Postgres& db);

} // namespace cli::plant
