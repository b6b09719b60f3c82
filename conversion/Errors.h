#pragma once

#include "db/Errors.h"

namespace conversion {

// What fails outside the database: a text, a file, a wrong use of the batch mode. The root stays
// db::Error, the lowest layer's, so that every failure carries one readable message and
// db::messageOf reads them all alike.
class Error : public db::Error {
public:
    using db::Error::Error;
};

// A text that does not convert to a number or a date.
class ConversionError : public Error {
public:
    using Error::Error;
};

// A file that can't be opened, read or written.
class FileError : public Error {
public:
    using Error::Error;
};

} // namespace conversion
