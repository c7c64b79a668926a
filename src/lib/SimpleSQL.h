#pragma once
// The SQL access layer over SQLite.

#include "lib/SimpleSQLInterface.h"

// Opens a connection from a connection string such as
// DriverID=SQLite;Database="/path/file.db";Synchronous=ON;OpenMode=CreateUTF8;...
ISQLConnectionRef CreateSQLConnection(const std::string& iConnectionString);
