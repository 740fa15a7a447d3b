#pragma once
// Why a parameter set or a configuration file is refused, as data: the
// window and the command line each put it in their own words.

#include <QString>

namespace params {

struct Problem {
    enum Kind {
        // The write's checks, in the order the write makes them.
        PasswordTooLong,
        HoldsPasswordSeparator,
        CommandTooLong,
        SlotTextTooLong,
        PhoneNotANumber,
        Unsendable,
        ActionTimeOutOfRange,
        // Configuration files.
        CannotRead,
        TooLarge,
        NotJson,
        NotAnObject,
        WrongFormat,
        VersionMissing,
        VersionTooNew,
        UnknownKey,
        MissingKey,
        WrongType,
        TooManyPhones,
        NotAFile,     // index: the filekind::Kind that stands there instead
        DuplicateKey, // field: the key's path
    };
    Kind kind;
    QString field;  // where, as a file path: "parameters.relays[1].on"
    QString detail; // the offending text or value, or what was expected
    int index = -1; // the phone entry, counted from 0, for PhoneNotANumber
};

} // namespace params
