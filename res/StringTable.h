#pragma once
// The numbered texts of the string table.

#include <QString>

// The text of string `id`; empty for an id the table does not have.
QString LoadResString(int id);
