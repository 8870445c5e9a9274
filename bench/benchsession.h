#pragma once

#include "core/clock.h"
#include "link/taskscheduler.h"
#include "session/instrumentsession.h"
#include "session/recording.h"
#include "silentprompter.h"
#include "storage/database.h"
#include "storage/recordstore.h"
#include "transports.h"

#include <QTemporaryDir>

#include <memory>

namespace trq {

// A session over a database of its own in a temporary folder.
struct BenchSession {
    explicit BenchSession(std::unique_ptr<AppTransports> t = std::make_unique<AppTransports>())
        : transports(std::move(t)) {}

    QTemporaryDir dir;
    SteadyClock clock;
    SilentPrompter prompter;
    std::unique_ptr<AppTransports> transports;
    Database data;
    RecordStore store{open()};
    TaskScheduler link{{clock, prompter}};
    TimerWaiter waiter;
    InstrumentSession session{{link, data, store, prompter, *transports, waiter}};

    QSqlDatabase open() {
        Database::create(dir.filePath(QStringLiteral("mtype.mdb")));
        data.open(dir.path());
        return data.database();
    }
};

} // namespace trq
