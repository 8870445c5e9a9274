#pragma once

#include "link/transport.h"

#include <QCoreApplication>
#include <QLibrary>
#include <QStringList>

#include <functional>

class QThread;

namespace trq {

#ifdef _WIN32
#define TRQ_NI488_CALL __stdcall
#else
#define TRQ_NI488_CALL
#endif

// The NI-488.2 C entry points, loaded at run time from linux-gpib's
// libgpib.so.0 or the vendor's DLL. Nothing links against them, so a machine
// without a GPIB driver still runs the program.
class Ni488Library {
    Q_DECLARE_TR_FUNCTIONS(Ni488Library)

public:
    using IbDev = int(TRQ_NI488_CALL*)(int board, int pad, int sad, int tmo, int eot, int eos);
    using IbWrt = int(TRQ_NI488_CALL*)(int ud, const void* buf, long count);
    using IbRd = int(TRQ_NI488_CALL*)(int ud, void* buf, long count);
    using IbUd = int(TRQ_NI488_CALL*)(int ud);
    using IbOnl = int(TRQ_NI488_CALL*)(int ud, int online);
    using IntFn = int(TRQ_NI488_CALL*)();
    using LongFn = long(TRQ_NI488_CALL*)();

    // ibsta bits
    static constexpr int ERR = 0x8000;
    static constexpr int TIMO = 0x4000;
    static constexpr int END = 0x2000;
    // iberr values
    static constexpr int EDVR = 0;
    static constexpr int EABO = 6;
    static constexpr int ENEB = 7;
    static constexpr int T10s = 13;

    static QStringList defaultNames();
    static QString errorText(int iberr);

    bool load(const QStringList& names = defaultNames());
    bool isLoaded() const { return ibdev != nullptr; }
    QString errorString() const { return error_; }
    QString fileName() const { return lib_.fileName(); }

    int lastError() const;
    long lastCount() const;

    IbDev ibdev = nullptr;
    IbWrt ibwrt = nullptr;
    IbRd ibrd = nullptr;
    IbOnl ibonl = nullptr;
    IbUd ibclr = nullptr;

private:
    QLibrary lib_;
    QString error_;
    IntFn threadIberr_ = nullptr;
    LongFn threadIbcntl_ = nullptr;
    const int* iberrVar_ = nullptr;
    const long* ibcntlVar_ = nullptr;
};

class Ni488Worker;

// GPIB over NI-488.2. The calls block, so they run on a worker thread; their
// outcomes come back to the user-interface thread as the board's events.
class Ni488GpibBoard final : public GpibBoard {
    Q_OBJECT
public:
    // Largest reply taken from one read; the rest is left on the bus.
    static constexpr long kMaxReply = 64 * 1024;

    explicit Ni488GpibBoard(QStringList libraryNames = Ni488Library::defaultNames(),
                            QObject* parent = nullptr);
    ~Ni488GpibBoard() override;

    bool configure(int board, int address) override;
    void writeAsync(const QByteArray& bytes) override;
    void readAsync() override;
    void reset() override;
    QString errorString() const override { return error_; }

private:
    friend class Ni488Worker;
    // Runs a driver call on the worker thread, or fails it when there is no
    // device to talk to.
    void submit(bool isRead, std::function<void(Ni488Worker&, int, quint64)> job);
    void finished(quint64 generation, int status, int iberr, const QByteArray& data, bool isRead);

    QStringList libraryNames_;
    Ni488Library lib_;
    QThread* thread_ = nullptr;
    Ni488Worker* worker_ = nullptr;
    int ud_ = -1;
    quint64 generation_ = 0;
    QString error_;
};

} // namespace trq
