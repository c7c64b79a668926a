#pragma once
// The recordings database of a slot: one row per recorded file with its start time (local time, stored as
// text), its length in seconds (NULL until the file is finished) and its name relative to the slot's folder.

#include "lib/SimpleSQLInterface.h"

#include <string>

// The connection text for the SQL layer that opens (and creates) the database file iPath.
std::string DatabaseConnectionText(const std::string& iPath);
// Opens (and creates) the database file iPath: its folder, the table, columns added since and the start time
// index are made when missing. Errors reach the caller.
ISQLConnectionRef OpenSlotDatabase(const std::string& iPath);
