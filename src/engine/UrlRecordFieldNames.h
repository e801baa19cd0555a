// The names of the columns a URL record answers, for lists a user reads (`--columns help`).
#pragma once

#include <QStringList>

/// Every column `CrwlUrl::getFieldByName` answers (each one `CrwlUrl::namesField` accepts), in
/// alphabetical order. Any thread.
QStringList urlRecordFieldNames();
