// How databases are laid out in a volume's SQLite file: the catalogue, the
// table of each database with its key columns and indexes, and the
// statements that walk its sort orders.
#include <sstream>

#include "platform/PropertyVolume.h"

const char kCatalogSchema[] =
    "CREATE TABLE IF NOT EXISTS ce_databases("
    " oid INTEGER PRIMARY KEY AUTOINCREMENT,"
    " name TEXT NOT NULL UNIQUE,"
    " type INTEGER NOT NULL,"
    " sort_orders TEXT NOT NULL)";

std::string FormatSortOrders(const CEDBASEINFOEX& info)
{
    std::ostringstream out;
    for (WORD order = 0; order < info.wNumSortOrder; ++order) {
        const SORTORDERSPECEX& sortKeys = info.rgSortSpecs[order];
        out << sortKeys.wNumProps << ' ' << sortKeys.wKeyFlags;
        for (WORD key = 0; key < sortKeys.wNumProps; ++key)
            out << ' ' << sortKeys.rgPropID[key] << ' ' << sortKeys.rgdwFlags[key];
        out << ';';
    }
    return out.str();
}

std::vector<SORTORDERSPECEX> ParseSortOrders(const std::string& text)
{
    std::vector<SORTORDERSPECEX> orders;
    std::istringstream all(text);
    std::string one;
    while (std::getline(all, one, ';')) {
        std::istringstream in(one);
        SORTORDERSPECEX sortKeys;
        if (!(in >> sortKeys.wNumProps >> sortKeys.wKeyFlags) || sortKeys.wNumProps > CEDB_MAXSORTPROP)
            break;
        for (WORD key = 0; key < sortKeys.wNumProps; ++key)
            in >> sortKeys.rgPropID[key] >> sortKeys.rgdwFlags[key];
        orders.push_back(sortKeys);
    }
    return orders;
}

bool ValidSortOrders(const CEDBASEINFOEX& info)
{
    if (info.wNumSortOrder > CEDB_MAXSORTORDER)
        return false;
    for (WORD order = 0; order < info.wNumSortOrder; ++order) {
        const WORD count = info.rgSortSpecs[order].wNumProps;
        if (count == 0 || count > CEDB_MAXSORTPROP)
            return false;
    }
    return true;
}

// The indexes of the sort orders from firstOrder on.
std::string SortOrderIndexSql(const CDatabaseSchema& schema, size_t firstOrder)
{
    std::string sql;
    for (size_t order = firstOrder; order < schema.sortOrders.size(); ++order) {
        std::string columns;
        for (size_t key = 0; key < schema.sortOrders[order].wNumProps; ++key)
            columns += (key ? ", " : "") + CDatabaseSchema::KeyColumn(order, key);
        sql += "CREATE INDEX " + schema.table + "_s" + std::to_string(order) + " ON " + schema.table + "(" + columns +
               ");";
    }
    return sql;
}

std::string CDatabaseSchema::KeyColumn(size_t sortOrder, size_t key)
{
    std::string column = "s";
    column += std::to_string(sortOrder);
    column += 'k';
    column += std::to_string(key);
    return column;
}

void CDatabaseSchema::Prepare()
{
    table = std::string("ce_db_") + std::to_string(oid);
    std::string columns = "props", placeholders = "?", assignments = "props = ?";
    for (size_t order = 0; order < sortOrders.size(); ++order) {
        for (size_t key = 0; key < sortOrders[order].wNumProps; ++key) {
            columns += ", " + KeyColumn(order, key);
            placeholders += ", ?";
            assignments += ", " + KeyColumn(order, key) + " = ?";
        }
    }
    insertSql = "INSERT INTO " + table + "(" + columns + ") VALUES(" + placeholders + ")";
    updateSql = "UPDATE " + table + " SET " + assignments + " WHERE oid = ?";
    deleteSql = "DELETE FROM " + table + " WHERE oid = ?1";
    sql.clear();
    for (size_t order = 0; order < sortOrders.size(); ++order) {
        const size_t keys = sortOrders[order].wNumProps;
        std::string columns, placeholders, sameKeys;
        for (size_t key = 0; key < keys; ++key) {
            const std::string column = KeyColumn(order, key);
            std::string parameter = "?";
            parameter += std::to_string(key + 1);
            columns += (key ? ", " : "") + column;
            placeholders += (key ? ", " : "") + parameter;
            sameKeys += column + " = " + parameter + " AND ";
        }
        const std::string oidParameter = std::string("?") + std::to_string(keys + 1);
        const std::string limit = std::string(" LIMIT ?") + std::to_string(kLimitParameter);
        const std::string orderBy = " ORDER BY " + columns + ", oid" + limit;
        auto& both = sql.emplace_back();
        for (int withProps = 0; withProps < 2; ++withProps) {
            CSortOrderSql& text = both[withProps];
            const std::string select = "SELECT oid, " + columns + (withProps ? ", props" : "") + " FROM " + table;
            text.first = select + orderBy;
            // Ties of the same keys by object id first, then the first record
            // with greater keys: two index look-ups in one statement (a single
            // row-value comparison over keys and id would scan the ties).
            for (int inclusive = 0; inclusive < 2; ++inclusive) {
                text.following[inclusive] = "SELECT * FROM (" + select + " WHERE " + sameKeys + "oid " +
                                            (inclusive ? ">= " : "> ") + oidParameter +
                                            " ORDER BY oid" + limit + ") UNION ALL SELECT * FROM (" + select +
                                            " WHERE (" + columns + ") > (" + placeholders + ")" + orderBy + ")" + limit;
            }
            std::string where, prefixColumns, prefixParameters;
            for (size_t key = 0; key < keys; ++key) {
                std::string parameter = "?";
                parameter += std::to_string(key + 1);
                // Appended piece by piece: "literal" + temporary makes g++ 12
                // warn, wrongly, of overlapping copies.
                where.append(key ? " AND " : " WHERE ").append(KeyColumn(order, key)).append(" = ").append(parameter);
                prefixColumns.append(key ? ", " : "").append(KeyColumn(order, key));
                prefixParameters.append(key ? ", " : "").append(parameter);
                text.firstEqual.push_back(select + where + orderBy);
                text.firstGreater.push_back(select + " WHERE (" + prefixColumns + ") > (" + prefixParameters + ")" +
                                            orderBy);
                text.countEqual.push_back("SELECT count(*) FROM " + table + where);
            }
            text.withOid = select + " WHERE oid = ?1";
            text.fromOffset = select + orderBy + " OFFSET ";
        }
    }
}
