// trq-manpage TEMPLATE OUTPUT: the man page with its OPTIONS entries taken
// from the program's option list, in place of the template's "@OPTIONS@",
// and the program's version for "@VERSION@".
#include "commandline.h"
#include "core/debugtrace.h"

#include <QFile>

#include <cstdio>

int main(int argc, char* argv[]) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: trq-manpage TEMPLATE OUTPUT\n");
        return 2;
    }
    QFile in(QString::fromLocal8Bit(argv[1]));
    if (!in.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "%s: %s\n", argv[1], qPrintable(in.errorString()));
        return 1;
    }
    QString page = QString::fromUtf8(in.readAll());
    const QString marker = QStringLiteral("@OPTIONS@\n");
    if (page.count(marker) != 1) {
        std::fprintf(stderr, "%s: no single @OPTIONS@ line\n", argv[1]);
        return 1;
    }
    page.replace(marker, trq::CommandLine::manualOptions());
    page.replace(QStringLiteral("@VERSION@"), QLatin1String(trq::DebugTrace::kVersion));
    QFile out(QString::fromLocal8Bit(argv[2]));
    if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate) || out.write(page.toUtf8()) < 0) {
        std::fprintf(stderr, "%s: %s\n", argv[2], qPrintable(out.errorString()));
        return 1;
    }
    return 0;
}
