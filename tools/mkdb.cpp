// Creates mtype.mdb with the shipped schema and machine types.
#include "storage/database.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFileInfo>

#include <cstdio>

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Creates a machine-type database file."));
    parser.addHelpOption();
    parser.addPositionalArgument(QStringLiteral("file"), QStringLiteral("The file to create."));
    const QCommandLineOption ifMissing(QStringLiteral("if-missing"),
                                       QStringLiteral("Do nothing when the file exists."));
    parser.addOption(ifMissing);
    parser.process(app);
    const QString path = parser.positionalArguments().value(0);
    if (path.isEmpty())
        parser.showHelp(2);
    if (QFileInfo::exists(path)) {
        if (parser.isSet(ifMissing))
            return 0;
        std::fprintf(stderr, "%s exists; not replaced\n", qPrintable(path));
        return 1;
    }
    QString error;
    if (!trq::Database::create(path, &error)) {
        std::fprintf(stderr, "Cannot create %s: %s\n", qPrintable(path), qPrintable(error));
        return 1;
    }
    return 0;
}
