// viro-data-builder: turns the readable sources in data/ into the installation files.
#include "data/src/installation_data.h"

#include <QCommandLineParser>
#include <QGuiApplication>

#include <cstdio>

int main(int argc, char** argv) {
    // Drawing text needs a platform plug-in but never a screen.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Builds the reference texts, standard protocols, template and pictures."));
    parser.addHelpOption();
    const QCommandLineOption sources(QStringLiteral("sources"),
                                     QStringLiteral("Folder holding texts/ and protocols.txt."),
                                     QStringLiteral("folder"));
    const QCommandLineOption out(QStringLiteral("out"), QStringLiteral("Output folder."),
                                 QStringLiteral("folder"));
    parser.addOption(sources);
    parser.addOption(out);
    parser.process(app);
    if (!parser.isSet(sources) || !parser.isSet(out)) {
        std::fprintf(stderr, "usage: viro-data-builder --sources FOLDER --out FOLDER\n");
        return 2;
    }
    QString error;
    if (!viro::buildInstallationData(parser.value(sources), parser.value(out), &error)) {
        std::fprintf(stderr, "viro-data-builder: %s\n", qPrintable(error));
        return 1;
    }
    return 0;
}
