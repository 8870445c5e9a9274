#pragma once

#include <QDir>
#include <QTemporaryDir>

#include <cstdio>

namespace trq {

// A benchmark's settings and trace file go to a folder of its own, never
// the user's: made before the application reads its settings, entered
// once it runs. Each line of its table is printed as it is done.
struct OwnFolder {
    QTemporaryDir dir;
    OwnFolder() { qputenv("XDG_CONFIG_HOME", dir.path().toLocal8Bit()); }
    void enter() const {
        QDir::setCurrent(dir.path());
        std::setvbuf(stdout, nullptr, _IOLBF, 0);
    }
};

} // namespace trq
