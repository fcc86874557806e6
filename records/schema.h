#pragma once

#include <QString>
#include <QStringList>

#include <array>
#include <vector>

class QSqlDatabase;

namespace viro {

// Column types of the database files (the Access types of the exchanged files) and how they are
// held in SQLite: Text/Memo as TEXT, Yes/No as INTEGER 0/1, Date/Time as REAL (Jet day number),
// Double as REAL, Long as INTEGER, AutoNumber as INTEGER PRIMARY KEY AUTOINCREMENT, OLE Object
// as BLOB.
enum class FieldType { Text, Memo, YesNo, DateTime, Double, Long, AutoNumber, OleObject };

struct FieldDef {
    QString name;
    FieldType type = FieldType::Text;
    int width = 0;         // characters a Text column holds, enforced on write; 0 for no limit
    int inputWidth = 0;    // characters a window takes for a new value; 0: the column's width
    bool required = false; // NOT NULL

    // Characters a window takes for a new value; 0 for no limit.
    int inputLimit() const { return inputWidth > 0 ? inputWidth : width; }
};

struct IndexDef {
    QString name;
    QStringList columns; // each may carry " DESC"
};

struct TableDef {
    QString name;
    std::vector<FieldDef> fields;
    std::vector<IndexDef> indexes;
    QStringList primaryKey; // a key of several columns (each NOT NULL); empty for none
    QStringList checks;     // conditions every row must meet, as SQL expressions

    // Case-insensitive lookup (field names are not case-sensitive); null when absent.
    const FieldDef* field(const QString& name) const;
};

// Which kind of database file a schema is made for.
enum class DatabaseKind {
    // "viro6.mdb", the template, the exchange file: ZeCust ZeData ZePro ZePrDt ZeRaw
    Main,
    ReferenceTexts,    // "viroE.mdb": ZEMTDB
    StandardProtocols, // "viroZE.mdb": ZePro (with the advice texts) and ZePrDt
};

const TableDef& zeCustTable();
const TableDef& zeDataTable();
// The protocol table of the main database; `withAdvice` adds ProMed1-3 and ProHel1-5.
const TableDef& zeProTable(bool withAdvice = false);
const TableDef& zePrDtTable();
const TableDef& zeMtdbTable();
// The readings of each measured point of a stored measurement, one row per (MKEY, point).
const TableDef& zeRawTable();

// Tables of one kind of database, in creation order.
std::vector<const TableDef*> tablesOf(DatabaseKind kind);

// SQLite type name of a column type ("TEXT", "REAL", ...).
QString sqliteTypeName(FieldType type);

// The CHECK clause that holds a Text column to `width` characters.
QString widthCheck(const QString& field, int width);

// The CREATE TABLE statement of one table (Text widths enforced by CHECK constraints). Text
// columns compare with COLLATE NOCASE, which folds only the letters A-Z: "Ä" and "ä", or "É" and
// "é", still count as different in sorting, searches and lookups.
QString createTableStatement(const TableDef& table);
// The CREATE INDEX statements of one table.
QStringList createIndexStatements(const TableDef& table);

// Creates every table and index of `kind` in an open, empty database, in one transaction.
// False with a message when any statement fails; the database is then left without the tables.
bool createSchema(QSqlDatabase& db, DatabaseKind kind, QString* error);

// Creates (or replaces) a database file of `kind` at `path` holding the empty tables.
bool createDatabaseFile(const QString& path, DatabaseKind kind, QString* error);

// Packed quality scores: 24 slices of five characters ("100.0", " 87.5", "  0.0").
inline constexpr int kStdPoints = 24;
inline constexpr int kStdSliceWidth = 5;
QString packStd(const std::array<double, kStdPoints>& scores);
// Empty or short texts and slices that are not numbers give 0.
std::array<double, kStdPoints> unpackStd(const QString& text);

// Birth and latest-measurement dates: a value of 4000 or less means no date; 0 is written.
inline constexpr double kNoDateLimit = 4000;
inline constexpr double kNoDate = 0;
inline bool isDate(double jet) {
    return jet > kNoDateLimit;
}
inline double dateOrNone(double jet) {
    return isDate(jet) ? jet : kNoDate;
}

} // namespace viro
