#pragma once
// How the property database keeps a record in SQLite: the property list as
// one blob, and each sort key as a column value whose natural SQLite order is
// the sort order's (descending keys are stored transformed, a missing key as
// a value that sorts after, or with CEDB_SORT_UNKNOWNFIRST before, all others).
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "platform/PropertyDatabase.h"

struct sqlite3_stmt;

// The property list in its stored form. Decoding fails (nullopt) on a blob
// that was not written by EncodeRecordProps. Given only, decoding returns
// just those properties, in that order, a missing one flagged
// CEDB_PROPNOTFOUND; the texts of the others are not converted.
std::string EncodeRecordProps(std::span<const CEPROPVAL> props);
std::optional<std::vector<CEPROPVAL>> DecodeRecordProps(const void* data, size_t size,
                                                        std::span<const CEPROPID> only = {});

// One sort key column value.
struct CSortKeyValue {
    enum class Kind { Integer, Real, Text, Blob };
    Kind kind = Kind::Integer;
    std::int64_t integer = 0;
    double real = 0;
    std::string bytes;

    bool operator==(const CSortKeyValue&) const = default;
    void Bind(sqlite3_stmt* statement, int index) const;
    static CSortKeyValue FromColumn(sqlite3_stmt* statement, int column);
};

// The column value of the key whose property id and flags are given, taken
// from a record's properties (a record lacking that property gets the
// "unknown" value).
CSortKeyValue MakeSortKey(std::span<const CEPROPVAL> props, CEPROPID propid, DWORD flags);
// The column value a seek compares against: nullopt when the value's type is
// not the key's, so that nothing can equal it.
std::optional<CSortKeyValue> MakeSeekKey(const CEPROPVAL& value, CEPROPID propid, DWORD flags);
