#include "analysis/report/reference_texts.h"

#include "core/text_cipher.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QVariant>

namespace viro {

namespace {

QString deciphered(const QVariant& v) {
    return TextCipher::decrypt(v.toString(), TextCipher::ReferenceTextKey);
}

template <size_t N>
void readNumbered(const QSqlQuery& q, const char* prefix, std::array<QString, N>& out,
                  bool decipher) {
    for (size_t i = 0; i < N; ++i) {
        const QVariant v = q.value(QString::fromLatin1(prefix) + QString::number(i + 1));
        out[i] = decipher ? deciphered(v) : v.toString();
    }
}

} // namespace

bool ReferenceTexts::load(const QSqlDatabase& db, QString* error) {
    entries_.clear();
    current_ = {};
    QSqlQuery q(db);
    q.setForwardOnly(true);
    if (!q.exec(QStringLiteral("SELECT * FROM ZEMTDB ORDER BY MKEY"))) {
        if (error)
            *error = QStringLiteral("The reference texts cannot be read: ") + q.lastError().text();
        return false;
    }
    while (q.next()) {
        ReferenceEntry e;
        e.key = q.value(QStringLiteral("MKEY")).toInt();
        readNumbered(q, "DtMA", e.DtMA, true);
        readNumbered(q, "DtMH", e.DtMH, true);
        readNumbered(q, "DtML", e.DtML, true);
        entries_[e.key] = std::move(e);
    }
    return true;
}

const ReferenceEntry& ReferenceTexts::locate(int key) {
    const auto it = entries_.find(key);
    if (it != entries_.end())
        current_ = it->second;
    return current_;
}

ProtocolTexts::ProtocolTexts(QSqlDatabase db) : db_(std::move(db)) {}

std::optional<ProtocolDetails> ProtocolTexts::byKey(int mkey, QString* error) const {
    return read(QStringLiteral("MKEY = ?"), mkey, error);
}

std::optional<ProtocolDetails> ProtocolTexts::byName(const QString& name, QString* error) const {
    return read(QStringLiteral("ProName = ?"), name, error);
}

std::optional<ProtocolDetails> ProtocolTexts::read(const QString& where, const QVariant& value,
                                                   QString* error) const {
    if (error)
        error->clear();
    if (!db_.isOpen())
        return std::nullopt;
    QSqlQuery q(db_);
    q.setForwardOnly(true);
    q.prepare(QStringLiteral("SELECT * FROM ZePro WHERE ") + where +
              QStringLiteral(" ORDER BY ProNo, MKEY"));
    q.addBindValue(value);
    if (!q.exec()) {
        if (error)
            *error = QStringLiteral("The protocol cannot be read: ") + q.lastError().text();
        return std::nullopt;
    }
    if (!q.next())
        return std::nullopt;
    ProtocolDetails p;
    p.MKEY = q.value(QStringLiteral("MKEY")).toInt();
    p.ProNo = q.value(QStringLiteral("ProNo")).toString();
    p.ProName = q.value(QStringLiteral("ProName")).toString();
    p.ProData = q.value(QStringLiteral("ProData")).toString();
    p.ProPict = q.value(QStringLiteral("ProPict")).toByteArray();
    p.ProScal = q.value(QStringLiteral("ProScal")).toBool();
    p.links.ProFN = q.value(QStringLiteral("ProFN")).toString();
    readNumbered(q, "ProScrp", p.links.description, false);
    readNumbered(q, "ProPrg", p.links.program, false);
    readNumbered(q, "ProParm", p.links.parameter, false);
    // Only the standard protocols carry treatment and dietary texts.
    if (q.record().contains(QStringLiteral("ProMed1"))) {
        readNumbered(q, "ProMed", p.ProMed, false);
        readNumbered(q, "ProHel", p.ProHel, false);
    }
    return p;
}

} // namespace viro
