// Saves COUNT measurements with traces for patient CUSTNO into DBFILE through the patient store,
// as a second program on the same data folder would. With --wait it first prints "ready" and
// waits for a line on standard input, so that two writers start at the same moment; between
// saves it rests PAUSE ms (default 2), as a program does between its writes, which lets
// another writer in.
// Exit 0 when every save succeeded; otherwise the store's message on standard error and exit 1.

#include "records/connection.h"
#include "records/patient_store.h"

#include <QCoreApplication>
#include <QStringList>
#include <QThread>

#include <cstdio>
#include <iostream>
#include <string>

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    const bool wait = args.removeAll(QStringLiteral("--wait")) > 0;
    int pauseMs = 2;
    if (const qsizetype at = args.indexOf(QStringLiteral("--pause"));
        at >= 0 && at + 1 < args.size()) {
        pauseMs = args[at + 1].toInt();
        args.remove(at, 2);
    }
    bool countOk = false;
    const int count = args.size() == 3 ? args[2].toInt(&countOk) : 0;
    if (!countOk || count < 0) {
        std::fprintf(stderr, "usage: store_writer [--wait] [--pause MS] DBFILE CUSTNO COUNT\n");
        return 2;
    }
    viro::Connection connection(viro::ConnectionRole::Main);
    QString error;
    if (!connection.open(args[0], &error)) {
        std::fprintf(stderr, "%s\n", qPrintable(error));
        return 1;
    }
    if (wait) {
        std::printf("ready\n");
        std::fflush(stdout);
        std::string line;
        std::getline(std::cin, line);
    }
    viro::PatientStore store(connection.database());
    const uint seed = qHash(args[1]);
    for (int i = 0; i < count; ++i) {
        viro::MeasurementRecord m;
        for (int p = 0; p < viro::kPointCount; ++p) {
            m.values[p] = 10.0 + (seed + i + p) % 150;
            m.quality[p] = (i + p) % 101;
            for (quint32 r = 0; r < 40; ++r)
                m.traces[p].push_back({r * 25, static_cast<quint16>((seed + i * 7 + r) % 4096)});
            m.samples[p] = 20;
        }
        // One minute apart, so that the latest measurement is the last one saved.
        m.dateTime = 45000.0 + i / 1440.0;
        m.notes = {QStringLiteral("writer %1").arg(args[1]), QString::number(i)};
        viro::StoreError e;
        if (!store.saveMeasurement(args[1], m, &e)) {
            std::fprintf(stderr, "save %d: %s\n", i, qPrintable(e.message));
            return 1;
        }
        QThread::msleep(static_cast<unsigned long>(pauseMs));
    }
    return 0;
}
