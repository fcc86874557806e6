#pragma once

#include "records/connection.h"
#include "records/schema.h"

#include <QSqlQuery>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace viro::test {

// A fresh main database in a temporary folder, opened through the main connection.
class MainDatabaseTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir_.isValid());
        path_ = dir_.filePath(QStringLiteral("viro6.mdb"));
        QString error;
        ASSERT_TRUE(createDatabaseFile(path_, DatabaseKind::Main, &error)) << error.toStdString();
        ASSERT_TRUE(main_.open(path_, &error)) << error.toStdString();
    }
    QSqlDatabase db() const { return main_.database(); }
    QVariant scalar(const QString& sql, const QVariantList& binds = {}) {
        QSqlQuery q(db());
        q.prepare(sql);
        for (const QVariant& b : binds)
            q.addBindValue(b);
        if (!q.exec() || !q.next())
            return {};
        return q.value(0);
    }
    bool exec(const QString& sql, const QVariantList& binds = {}) {
        QSqlQuery q(db());
        if (!q.prepare(sql))
            return false;
        for (const QVariant& b : binds)
            q.addBindValue(b);
        return q.exec();
    }

    QTemporaryDir dir_;
    QString path_;
    Connection main_{ConnectionRole::Main};
};

} // namespace viro::test
