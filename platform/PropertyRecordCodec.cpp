#include "platform/PropertyRecordCodec.h"

#include <sqlite3.h>

#include <bit>
#include <cstring>
#include <limits>

#include "platform/Unicode.h"

namespace {

// Stored form of the list: for each property its 4-byte id, then its value:
// 2, 4 or 8 bytes for numbers and file times, or a 4-byte byte count and the
// UTF-8 text for strings. Integers are little-endian.
template <typename T>
void Append(std::string& out, T value)
{
    for (size_t i = 0; i < sizeof(T); ++i)
        out.push_back(static_cast<char>((static_cast<std::uint64_t>(value) >> (8 * i)) & 0xFF));
}

class CBlobReader {
public:
    CBlobReader(const void* data, size_t size) : m_pData(static_cast<const unsigned char*>(data)), m_nLeft(size) {}

    template <typename T>
    bool Take(T& value)
    {
        if (m_nLeft < sizeof(T))
            return false;
        std::uint64_t result = 0;
        for (size_t i = 0; i < sizeof(T); ++i)
            result |= std::uint64_t{m_pData[i]} << (8 * i);
        value = static_cast<T>(result);
        Skip(sizeof(T));
        return true;
    }

    // Reads a text, or with text null only steps over it.
    bool TakeText(std::wstring* text)
    {
        std::uint32_t length = 0;
        if (!Take(length) || m_nLeft < length)
            return false;
        if (text)
            *text = Utf8ToWide(std::string_view(reinterpret_cast<const char*>(m_pData), length));
        Skip(length);
        return true;
    }

    bool AtEnd() const { return m_nLeft == 0; }

private:
    void Skip(size_t count)
    {
        m_pData += count;
        m_nLeft -= count;
    }

    const unsigned char* m_pData;
    size_t m_nLeft;
};

// A signed integer whose order is the order of the doubles it came from.
std::int64_t OrderedBitsOfDouble(double value)
{
    const auto bits = std::bit_cast<std::int64_t>(value);
    return bits < 0 ? bits ^ std::numeric_limits<std::int64_t>::max() : bits;
}

// Descending text: every byte b becomes 0xFE - b and a 0xFF ends the key, so
// that memcmp order is reversed (UTF-8 never holds bytes above 0xF4).
std::string DescendingTextKey(const std::string& utf8)
{
    std::string key;
    key.reserve(utf8.size() + 1);
    for (unsigned char byte : utf8)
        key.push_back(static_cast<char>(0xFE - std::min<unsigned char>(byte, 0xF4)));
    key.push_back(static_cast<char>(0xFF));
    return key;
}

CSortKeyValue UnknownKey(DWORD flags)
{
    CSortKeyValue key;
    if (flags & CEDB_SORT_UNKNOWNFIRST) {
        key.kind = CSortKeyValue::Kind::Real;
        key.real = -std::numeric_limits<double>::infinity();
    } else {
        // Blobs sort after every number and text, and this one after every
        // descending text key.
        key.kind = CSortKeyValue::Kind::Blob;
        key.bytes = "\xFF\xFF";
    }
    return key;
}

CSortKeyValue KeyOfValue(const CEPROPVAL& value, DWORD flags)
{
    const bool descending = flags & CEDB_SORT_DESCENDING;
    CSortKeyValue key;
    std::int64_t number = 0;
    switch (TypeFromPropID(value.propid)) {
    case CEVT_UI2:
        number = value.val.uiVal;
        break;
    case CEVT_UI4:
        number = value.val.ulVal;
        break;
    case CEVT_FILETIME:
        number = static_cast<std::int64_t>(value.val.filetime.Ticks());
        break;
    case CEVT_R8:
        number = OrderedBitsOfDouble(value.val.dblVal);
        break;
    case CEVT_LPWSTR:
        if (descending) {
            key.kind = CSortKeyValue::Kind::Blob;
            key.bytes = DescendingTextKey(WideToUtf8(value.val.lpwstr));
        } else {
            key.kind = CSortKeyValue::Kind::Text;
            key.bytes = WideToUtf8(value.val.lpwstr);
        }
        return key;
    default:
        return UnknownKey(flags);
    }
    key.integer = descending ? ~number : number;
    return key;
}

} // namespace

std::string EncodeRecordProps(std::span<const CEPROPVAL> props)
{
    std::string out;
    for (const CEPROPVAL& prop : props) {
        Append<std::uint32_t>(out, prop.propid);
        switch (TypeFromPropID(prop.propid)) {
        case CEVT_UI2:
            Append<std::uint16_t>(out, prop.val.uiVal);
            break;
        case CEVT_UI4:
            Append<std::uint32_t>(out, prop.val.ulVal);
            break;
        case CEVT_R8:
            Append<std::uint64_t>(out, std::bit_cast<std::uint64_t>(prop.val.dblVal));
            break;
        case CEVT_FILETIME:
            Append<std::uint64_t>(out, prop.val.filetime.Ticks());
            break;
        case CEVT_LPWSTR: {
            const std::string text = WideToUtf8(prop.val.lpwstr);
            Append<std::uint32_t>(out, static_cast<std::uint32_t>(text.size()));
            out += text;
            break;
        }
        default: // an unknown type keeps only its id
            break;
        }
    }
    return out;
}

namespace {

bool DecodeValue(CBlobReader& reader, CEPROPVAL& prop, bool wanted)
{
    switch (TypeFromPropID(prop.propid)) {
    case CEVT_UI2:
        return reader.Take(prop.val.uiVal);
    case CEVT_UI4:
        return reader.Take(prop.val.ulVal);
    case CEVT_R8: {
        std::uint64_t bits = 0;
        const bool ok = reader.Take(bits);
        prop.val.dblVal = std::bit_cast<double>(bits);
        return ok;
    }
    case CEVT_FILETIME: {
        std::uint64_t ticks = 0;
        const bool ok = reader.Take(ticks);
        prop.val.filetime = FILETIME::FromTicks(ticks);
        return ok;
    }
    case CEVT_LPWSTR:
        return reader.TakeText(wanted ? &prop.val.lpwstr : nullptr);
    default:
        return true;
    }
}

} // namespace

std::optional<std::vector<CEPROPVAL>> DecodeRecordProps(const void* data, size_t size,
                                                        std::span<const CEPROPID> only)
{
    std::vector<CEPROPVAL> props(only.size());
    for (size_t i = 0; i < only.size(); ++i) {
        props[i].propid = only[i];
        props[i].wFlags = CEDB_PROPNOTFOUND;
    }
    CBlobReader reader(data, size);
    CEPROPVAL skipped;
    while (!reader.AtEnd()) {
        CEPROPID propid = 0;
        if (!reader.Take(propid))
            return std::nullopt;
        CEPROPVAL* target = nullptr;
        if (only.empty()) {
            target = &props.emplace_back();
        } else {
            for (size_t i = 0; i < only.size() && !target; ++i) {
                if (only[i] == propid && (props[i].wFlags & CEDB_PROPNOTFOUND))
                    target = &props[i];
            }
        }
        CEPROPVAL& prop = target ? *target : skipped;
        prop.propid = propid;
        prop.wFlags = 0;
        if (!DecodeValue(reader, prop, target != nullptr))
            return std::nullopt;
    }
    return props;
}

void CSortKeyValue::Bind(sqlite3_stmt* statement, int index) const
{
    switch (kind) {
    case Kind::Integer:
        sqlite3_bind_int64(statement, index, integer);
        break;
    case Kind::Real:
        sqlite3_bind_double(statement, index, real);
        break;
    case Kind::Text:
        sqlite3_bind_text(statement, index, bytes.data(), static_cast<int>(bytes.size()), SQLITE_TRANSIENT);
        break;
    case Kind::Blob:
        sqlite3_bind_blob(statement, index, bytes.data(), static_cast<int>(bytes.size()), SQLITE_TRANSIENT);
        break;
    }
}

CSortKeyValue CSortKeyValue::FromColumn(sqlite3_stmt* statement, int column)
{
    CSortKeyValue key;
    switch (sqlite3_column_type(statement, column)) {
    case SQLITE_INTEGER:
        key.kind = Kind::Integer;
        key.integer = sqlite3_column_int64(statement, column);
        break;
    case SQLITE_FLOAT:
        key.kind = Kind::Real;
        key.real = sqlite3_column_double(statement, column);
        break;
    case SQLITE_TEXT:
        key.kind = Kind::Text;
        key.bytes.assign(reinterpret_cast<const char*>(sqlite3_column_text(statement, column)),
                         static_cast<size_t>(sqlite3_column_bytes(statement, column)));
        break;
    default:
        key.kind = Kind::Blob;
        if (const void* blob = sqlite3_column_blob(statement, column))
            key.bytes.assign(static_cast<const char*>(blob), static_cast<size_t>(sqlite3_column_bytes(statement, column)));
        break;
    }
    return key;
}

CSortKeyValue MakeSortKey(std::span<const CEPROPVAL> props, CEPROPID propid, DWORD flags)
{
    for (const CEPROPVAL& prop : props) {
        if (prop.propid == propid)
            return KeyOfValue(prop, flags);
    }
    return UnknownKey(flags);
}

std::optional<CSortKeyValue> MakeSeekKey(const CEPROPVAL& value, CEPROPID propid, DWORD flags)
{
    if (value.propid != propid)
        return std::nullopt;
    return KeyOfValue(value, flags);
}
