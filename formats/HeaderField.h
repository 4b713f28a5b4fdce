// One "Key:   value" entry of a text header, as the host's SDM and FMR files hold them.
#pragma once

#include <cstdint>
#include <istream>
#include <ostream>
#include <string>

namespace qm {

template <typename Value> struct HeaderField {
    std::string name; // the key without its colon
    Value value{};
    std::int32_t width = 0; // column at which the value starts, counted from the key's start
    bool quoted = false;    // string kind: the value stood between double quotes
    bool present = false;   // read from a file or set by the program; only these are written

    void set(std::string fieldName, Value fieldValue, std::int32_t fieldWidth) {
        name = std::move(fieldName);
        value = std::move(fieldValue);
        width = fieldWidth;
        present = true;
    }
};

using IntField = HeaderField<std::int32_t>;
using FloatField = HeaderField<float>;
using BoolField = HeaderField<bool>;
using StringField = HeaderField<std::string>;

// Reads a field's value after its key token (which ends with ":") was read from `in`: sets the
// name and width, consumes the blanks and tabs after the key, reads the value and marks the
// field present, also when the value could not be read (then `in` is left failed). Numbers are
// read without regard to the global locale. A bool must be 0 or 1.
void readHeaderField(std::istream& in, const std::string& keyToken, IntField& field);
void readHeaderField(std::istream& in, const std::string& keyToken, FloatField& field);
void readHeaderField(std::istream& in, const std::string& keyToken, BoolField& field);
// String kind: the rest of the line without trailing blanks; enclosing double quotes are dropped
// and recorded in `quoted`.
void readHeaderField(std::istream& in, const std::string& keyToken, StringField& field);

// Writes "Name:" padded with spaces to `width` (and followed by at least one space), the value
// in decimal (a bool as 1 or 0), and `lineEnds` line ends (CR LF each). Writes nothing for a field
// that is not present.
void writeHeaderField(std::ostream& out, const IntField& field, int lineEnds);
void writeHeaderField(std::ostream& out, const BoolField& field, int lineEnds);
// The same, appended to a text that is written to disk in one piece.
void appendHeaderField(std::string& out, const IntField& field, int lineEnds);
void appendHeaderField(std::string& out, const BoolField& field, int lineEnds);

// The line end of every text file the plug-in writes.
inline constexpr const char* kLineEnd = "\r\n";

} // namespace qm
