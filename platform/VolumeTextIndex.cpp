#include "platform/VolumeTextIndex.h"

#include <sqlite3.h>

#include <atomic>

#include "platform/Debug.h"
#include "platform/PropertyRecordCodec.h"
#include "platform/PropertyVolume.h"
#include "platform/Unicode.h"

namespace {

// Words folded for case and accents, English endings stemmed. The query is
// split by the same tokenizer, so both sides always agree on what a word is.
constexpr char kTokenizer[] = "porter unicode61 remove_diacritics 2";
// The arguments of the porter tokenizer: the tokenizer it wraps, with its own.
const char* kTokenizerChain[] = {"unicode61", "remove_diacritics", "2"};

constexpr char kIndexCatalogue[] =
    "CREATE TABLE IF NOT EXISTS ce_text_indexes(db INTEGER PRIMARY KEY, version INTEGER NOT NULL)";

std::atomic<bool> g_bUpkeep{true};

// Collects the tokens of a text as the index's tokenizer finds them.
int OnToken(void* context, int flags, const char* token, int length, int, int)
{
    if ((flags & FTS5_TOKEN_COLOCATED) == 0)
        static_cast<std::vector<std::string>*>(context)->emplace_back(token, static_cast<size_t>(length));
    return SQLITE_OK;
}

} // namespace

bool IsTextIndexUpkeepOn() { return g_bUpkeep; }
void SetTextIndexUpkeep(bool on) { g_bUpkeep = on; }

CVolumeTextIndex::CVolumeTextIndex(CPropertyVolume& volume, const CDatabaseSchema& schema, CRecordTextOf textOf)
    : m_volume(volume), m_oidDb(schema.oid), m_textOf(textOf), m_strRecords(schema.table),
      m_strIndex("ce_text_" + std::to_string(schema.oid)), m_strQueue(m_strIndex + "_queue"),
      m_sqlIsQueued("SELECT 1 FROM " + m_strQueue + " WHERE oid = ?1"),
      m_sqlQueue("INSERT OR IGNORE INTO " + m_strQueue + "(oid) VALUES(?1)"),
      m_sqlUnqueue("DELETE FROM " + m_strQueue + " WHERE oid = ?1"),
      m_sqlPutWords("INSERT INTO " + m_strIndex + "(rowid, title, body) VALUES(?1, ?2, ?3)"),
      m_sqlRemoveWords("INSERT INTO " + m_strIndex + "(" + m_strIndex + ", rowid, title, body) VALUES('delete', ?1, ?2, ?3)"),
      m_sqlRecord("SELECT props FROM " + m_strRecords + " WHERE oid = ?1")
{
}

bool CVolumeTextIndex::Attach(int version)
{
    // Most starts find the index as they left it: a read, no write.
    auto builtFor = [&](bool& current) {
        current = false;
        CStatementUse tables = m_volume.Statement(
            "SELECT count(*) FROM sqlite_schema WHERE name IN ('ce_text_indexes', ?1, ?2)");
        if (!tables)
            return false;
        sqlite3_bind_text(tables, 1, m_strIndex.c_str(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_text(tables, 2, m_strQueue.c_str(), -1, SQLITE_TRANSIENT);
        const bool read = sqlite3_step(tables) == SQLITE_ROW;
        const bool all = read && sqlite3_column_int(tables, 0) == 3;
        tables.End();
        if (!read) {
            m_volume.FailWith(ERROR_READ_FAULT, "looking for the text index");
            return false;
        }
        if (!all)
            return true;
        CStatementUse stored = m_volume.Statement("SELECT version FROM ce_text_indexes WHERE db = ?1");
        if (!stored)
            return false;
        sqlite3_bind_int64(stored, 1, m_oidDb);
        const int rc = sqlite3_step(stored);
        current = rc == SQLITE_ROW && sqlite3_column_int(stored, 0) == version;
        stored.End();
        if (rc != SQLITE_ROW && rc != SQLITE_DONE) {
            m_volume.FailWith(ERROR_READ_FAULT, "reading the text index's version");
            return false;
        }
        return true;
    };
    bool current = false;
    if (!builtFor(current))
        return false;
    if (current)
        return true;

    CVolumeWrite write(m_volume);
    // Under the write lock, once more: another process may have built it a
    // moment ago.
    if (!write.Begun() || !builtFor(current))
        return false;
    if (current)
        return write.Commit();
    DebugLogF("CVolumeTextIndex", "building the text index of %s in %s", m_strRecords.c_str(),
              m_volume.Path().c_str());
    const std::string build = std::string(kIndexCatalogue) + ";DROP TABLE IF EXISTS " + m_strIndex +
                              ";DROP TABLE IF EXISTS " + m_strQueue + ";CREATE VIRTUAL TABLE " + m_strIndex +
                              " USING fts5(title, body, content='', detail=none, columnsize=0, tokenize='" + kTokenizer +
                              "');CREATE TABLE " + m_strQueue + "(oid INTEGER PRIMARY KEY);INSERT INTO " +
                              m_strQueue + " SELECT oid FROM " + m_strRecords + ";";
    if (!m_volume.Execute(build.c_str()))
        return false;
    CStatementUse record = m_volume.Statement("INSERT OR REPLACE INTO ce_text_indexes(db, version) VALUES(?1, ?2)");
    if (!record)
        return false;
    sqlite3_bind_int64(record, 1, m_oidDb);
    sqlite3_bind_int(record, 2, version);
    const int rc = sqlite3_step(record);
    record.End();
    if (rc != SQLITE_DONE) {
        m_volume.FailWith(ERROR_WRITE_FAULT, "recording the text index's version");
        return false;
    }
    return write.Commit();
}

bool CVolumeTextIndex::IsIndexDamage(int code) const
{
    // FTS5's own structures make no sense. Damage of the file itself
    // (SQLITE_CORRUPT) stays the volume's to judge.
    return code == SQLITE_CORRUPT_VTAB;
}

bool CVolumeTextIndex::Run(CStatementUse statement, const char* what)
{
    if (!statement)
        return false;
    const int rc = sqlite3_step(statement);
    sqlite3* db = sqlite3_db_handle(statement);
    const int code = sqlite3_extended_errcode(db);
    statement.End();
    if (rc == SQLITE_DONE || rc == SQLITE_ROW)
        return true;
    // A fresh start needs the transaction still open around it.
    if (IsIndexDamage(code) && !sqlite3_get_autocommit(db))
        return StartAfresh(what);
    m_volume.FailWith(ERROR_WRITE_FAULT, what);
    return false;
}

bool CVolumeTextIndex::StartAfresh(const char* why)
{
    DebugLogF("CVolumeTextIndex", "the text index of %s is damaged (%s); it is built again", m_strRecords.c_str(), why);
    const std::string sql = "INSERT INTO " + m_strIndex + "(" + m_strIndex + ") VALUES('delete-all');" +
                            "INSERT OR IGNORE INTO " + m_strQueue + " SELECT oid FROM " + m_strRecords + ";";
    return m_volume.Execute(sql.c_str());
}

bool CVolumeTextIndex::Rebuild()
{
    CVolumeWrite write(m_volume);
    return write.Begun() && StartAfresh("asked for") && write.Commit();
}

bool CVolumeTextIndex::IsQueued(std::int64_t oid, bool& queued)
{
    CStatementUse statement = m_volume.Statement(m_sqlIsQueued);
    if (!statement)
        return false;
    sqlite3_bind_int64(statement, 1, oid);
    const int rc = sqlite3_step(statement);
    statement.End();
    if (rc != SQLITE_ROW && rc != SQLITE_DONE) {
        m_volume.FailWith(ERROR_READ_FAULT, "reading the text index's queue");
        return false;
    }
    queued = rc == SQLITE_ROW;
    return true;
}

bool CVolumeTextIndex::Queue(std::int64_t oid)
{
    CStatementUse statement = m_volume.Statement(m_sqlQueue);
    if (statement)
        sqlite3_bind_int64(statement, 1, oid);
    return Run(std::move(statement), "queueing a record for the text index");
}

bool CVolumeTextIndex::Unqueue(std::int64_t oid, bool& wasQueued)
{
    CStatementUse statement = m_volume.Statement(m_sqlUnqueue);
    if (!statement)
        return false;
    sqlite3_bind_int64(statement, 1, oid);
    const int rc = sqlite3_step(statement);
    wasQueued = rc == SQLITE_DONE && sqlite3_changes(sqlite3_db_handle(statement)) > 0;
    statement.End();
    if (rc != SQLITE_DONE) {
        m_volume.FailWith(ERROR_WRITE_FAULT, "taking a record off the text index's queue");
        return false;
    }
    return true;
}

bool CVolumeTextIndex::PutWords(std::int64_t oid, const CRecordText& text, bool remove)
{
    CStatementUse statement = m_volume.Statement(remove ? m_sqlRemoveWords : m_sqlPutWords);
    if (!statement)
        return false;
    const std::string title = WideToUtf8(text.title), body = WideToUtf8(text.body);
    sqlite3_bind_int64(statement, 1, TextRowId(text.order, oid));
    sqlite3_bind_text(statement, 2, title.data(), static_cast<int>(title.size()), SQLITE_STATIC);
    sqlite3_bind_text(statement, 3, body.data(), static_cast<int>(body.size()), SQLITE_STATIC);
    return Run(std::move(statement), remove ? "taking words out of the text index" : "putting words into the text index");
}

bool CVolumeTextIndex::ReadRecord(std::int64_t oid, std::vector<CEPROPVAL>& props, bool& found, bool& damaged)
{
    props.clear();
    found = damaged = false;
    CStatementUse statement = m_volume.Statement(m_sqlRecord);
    if (!statement)
        return false;
    sqlite3_bind_int64(statement, 1, oid);
    const int rc = sqlite3_step(statement);
    if (rc == SQLITE_ROW) {
        found = true;
        auto decoded = DecodeRecordProps(sqlite3_column_blob(statement, 0),
                                         static_cast<size_t>(sqlite3_column_bytes(statement, 0)));
        if (decoded)
            props = std::move(*decoded);
        else
            damaged = true;
    }
    statement.End();
    if (rc != SQLITE_ROW && rc != SQLITE_DONE) {
        m_volume.FailWith(ERROR_READ_FAULT, "reading a record for the text index");
        return false;
    }
    return true;
}

bool CVolumeTextIndex::OnInserted(std::int64_t oid) { return Queue(oid); }

bool CVolumeTextIndex::OnUpdated(std::int64_t oid, const std::vector<CEPROPVAL>* before,
                                 std::span<const CEPROPVAL> after)
{
    bool queued = false;
    if (!IsQueued(oid, queued))
        return false;
    if (queued)
        return true; // its words go in from what it holds when the queue is worked off
    if (before == nullptr)
        return StartAfresh("a changed record's old words are unknown");
    const std::optional<CRecordText> old = m_textOf(*before);
    if (old == m_textOf(after))
        return true; // a page marked read keeps its words
    return (!old || PutWords(oid, *old, true)) && Queue(oid);
}

bool CVolumeTextIndex::OnDeleting(std::int64_t oid)
{
    bool wasQueued = false;
    if (!Unqueue(oid, wasQueued))
        return false;
    if (wasQueued)
        return true;
    std::vector<CEPROPVAL> props;
    bool found = false, damaged = false;
    if (!ReadRecord(oid, props, found, damaged))
        return false;
    if (damaged)
        return StartAfresh("a deleted record's words are unknown");
    if (!found)
        return true;
    const std::optional<CRecordText> old = m_textOf(props);
    return !old || PutWords(oid, *old, true);
}

bool CVolumeTextIndex::IndexBatch(DWORD limit, DWORD& remaining)
{
    {
        CVolumeWrite write(m_volume);
        if (!write.Begun())
            return false;
        CStatementUse next = m_volume.Statement("SELECT oid FROM " + m_strQueue + " ORDER BY oid LIMIT ?1");
        if (!next)
            return false;
        sqlite3_bind_int64(next, 1, limit);
        std::vector<std::int64_t> oids;
        int rc;
        while ((rc = sqlite3_step(next)) == SQLITE_ROW)
            oids.push_back(sqlite3_column_int64(next, 0));
        next.End();
        if (rc != SQLITE_DONE) {
            m_volume.FailWith(ERROR_READ_FAULT, "reading the text index's queue");
            return false;
        }
        for (const std::int64_t oid : oids) {
            std::vector<CEPROPVAL> props;
            bool found = false, damaged = false, wasQueued = false;
            if (!ReadRecord(oid, props, found, damaged) || !Unqueue(oid, wasQueued))
                return false;
            // A record that cannot be read has no words to give; it is
            // indexed again when it is next written.
            const std::optional<CRecordText> text = found && !damaged ? m_textOf(props) : std::nullopt;
            if (text && !PutWords(oid, *text, false))
                return false;
        }
        if (!write.Commit())
            return false;
    }
    CStatementUse count = m_volume.Statement("SELECT count(*) FROM " + m_strQueue);
    if (!count)
        return false;
    const bool read = sqlite3_step(count) == SQLITE_ROW;
    remaining = read ? static_cast<DWORD>(sqlite3_column_int64(count, 0)) : 0;
    count.End();
    if (!read)
        m_volume.FailWith(ERROR_READ_FAULT, "counting the text index's queue");
    return read;
}

std::string CVolumeTextIndex::MatchExpression(const std::wstring& query)
{
    std::vector<std::string> tokens;
    sqlite3* db = m_volume.Connection();
    fts5_api* api = nullptr;
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_prepare_v2(db, "SELECT fts5(?1)", -1, &statement, nullptr) == SQLITE_OK) {
        sqlite3_bind_pointer(statement, 1, static_cast<void*>(&api), "fts5_api_ptr", nullptr);
        sqlite3_step(statement);
    }
    sqlite3_finalize(statement);
    void* userData = nullptr;
    fts5_tokenizer tokenizer{};
    Fts5Tokenizer* instance = nullptr;
    if (api != nullptr && api->xFindTokenizer(api, "porter", &userData, &tokenizer) == SQLITE_OK &&
        tokenizer.xCreate(userData, kTokenizerChain, std::size(kTokenizerChain), &instance) == SQLITE_OK) {
        const std::string text = WideToUtf8(query);
        tokenizer.xTokenize(instance, &tokens, FTS5_TOKENIZE_QUERY, text.data(), static_cast<int>(text.size()),
                            OnToken);
        tokenizer.xDelete(instance);
    }
    std::string expression;
    for (const std::string& token : tokens) {
        expression += expression.empty() ? "\"" : " AND \"";
        for (const char ch : token)
            expression += ch == '"' ? std::string("\"\"") : std::string(1, ch);
        expression += '"';
    }
    return expression;
}

bool CVolumeTextIndex::Find(const std::wstring& query, DWORD limit, std::vector<CEOID>& found)
{
    found.clear();
    const std::string match = MatchExpression(query);
    if (match.empty())
        return true;
    // Walked newest first; FTS5 reads no further than the rows taken.
    CStatementUse statement = m_volume.Statement("SELECT rowid FROM " + m_strIndex + " WHERE " + m_strIndex +
                                                 " MATCH ?1 ORDER BY rowid DESC");
    if (!statement)
        return false;
    sqlite3_bind_text(statement, 1, match.c_str(), -1, SQLITE_TRANSIENT);
    int rc;
    std::int64_t lastOrder = -1;
    while ((rc = sqlite3_step(statement)) == SQLITE_ROW) {
        const std::int64_t rowId = sqlite3_column_int64(statement, 0);
        if (found.size() >= limit && rowId >> 32 != lastOrder) {
            rc = SQLITE_DONE;
            break;
        }
        lastOrder = rowId >> 32;
        found.push_back(static_cast<CEOID>(rowId & 0xFFFFFFFF));
    }
    const int code = sqlite3_extended_errcode(m_volume.Connection());
    statement.End();
    if (rc == SQLITE_DONE)
        return true;
    found.clear();
    if (IsIndexDamage(code)) {
        CVolumeWrite write(m_volume);
        if (write.Begun() && StartAfresh("a search") && write.Commit())
            SetLastError(ERROR_INVALID_DATA); // searched again once the queue is worked off
        return false;
    }
    m_volume.FailWith(ERROR_READ_FAULT, "searching the text index");
    return false;
}
