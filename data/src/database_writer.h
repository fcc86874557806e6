#pragma once

#include "data/src/reference_texts.h"
#include "data/src/standard_protocols.h"

#include <QByteArray>
#include <QString>

#include <vector>

namespace viro {

// The cipher seed of one reference text. Fixed per key and field, so a rebuild writes the
// same file.
int referenceTextSeed(int key, int fieldIndex);

// Writes the reference text database: one ZEMTDB row per entry, every text enciphered with the
// reference text key, and the chart picture (PNG bytes; entries without one get none).
// `charts[k - 1]` belongs to key k. The file appears only when it is complete.
bool writeReferenceDatabase(const QString& path, const std::vector<ReferenceEntry>& entries,
                            const std::vector<QByteArray>& charts, QString* error);

// Writes the standard protocol database: ZePro rows in protocol order with plain texts and
// their ZePrDt condition rows. The file appears only when it is complete.
bool writeProtocolDatabase(const QString& path, const std::vector<StandardProtocol>& protocols,
                           QString* error);

// Writes the empty template with the main database's tables.
bool writeTemplateDatabase(const QString& path, QString* error);

} // namespace viro
