#pragma once

#include "therapy/protocol_links.h"

#include <QByteArray>
#include <QSqlDatabase>
#include <QString>

#include <array>
#include <map>
#include <optional>

namespace viro {

// One entry of the reference texts (a ZEMTDB row), deciphered. Keys 1-12 are the meridians in
// meridian-number order, 13-17 the five state topics.
struct ReferenceEntry {
    int key = 0;
    std::array<QString, 3> DtMA; // general texts
    std::array<QString, 5> DtMH; // texts for excess
    std::array<QString, 5> DtML; // texts for deficiency
};

// The reference texts of "viroE.mdb", read once.
class ReferenceTexts {
public:
    ReferenceTexts() = default;
    // Reads every entry; false with the reason when the table cannot be read.
    bool load(const QSqlDatabase& db, QString* error);

    // Locates the entry of `key`. When there is none the entry located before stays current
    // and is returned again (an empty one before any was found).
    const ReferenceEntry& locate(int key);

private:
    std::map<int, ReferenceEntry> entries_;
    ReferenceEntry current_;
};

// What the analysis window and the report show of one protocol (a ZePro row).
struct ProtocolDetails {
    int MKEY = 0;
    QString ProNo;
    QString ProName;
    QString ProData;
    QByteArray ProPict; // the picture file's bytes, empty for none
    bool ProScal = false; // shown at its own size; off: stretched to fit
    ProtocolLinks links;
    std::array<QString, 3> ProMed; // standard protocols only: treatment texts
    std::array<QString, 5> ProHel; // standard protocols only: dietary texts
};

// Reads single protocols of a protocol database (the user's in "viro6.mdb" or the standard
// ones in "viroZE.mdb"); the treatment and dietary texts are read where the table has them.
class ProtocolTexts {
public:
    explicit ProtocolTexts(QSqlDatabase db);
    std::optional<ProtocolDetails> byKey(int mkey, QString* error = nullptr) const;
    // The first protocol in ProNo order whose ProName equals `name`.
    std::optional<ProtocolDetails> byName(const QString& name, QString* error = nullptr) const;

private:
    std::optional<ProtocolDetails> read(const QString& where, const QVariant& value,
                                        QString* error) const;
    QSqlDatabase db_;
};

} // namespace viro
