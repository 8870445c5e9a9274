#include "link/ni488.h"

#include "core/debugtrace.h"

#include <QThread>

#include <algorithm>
#include <iterator>

namespace trq {

QStringList Ni488Library::defaultNames() {
#ifdef _WIN32
    return {QStringLiteral("ni4882"), QStringLiteral("gpib-32")};
#else
    return {QStringLiteral("libgpib.so.0"), QStringLiteral("gpib")};
#endif
}

QString Ni488Library::errorText(int iberr) {
    static const char* const kTexts[] = {
        "EDVR: system error",
        "ECIC: not controller-in-charge",
        "ENOL: no listener on the bus",
        "EADR: address error",
        "EARG: invalid argument",
        "ESAC: not system controller",
        "EABO: I/O operation aborted (timeout)",
        "ENEB: no GPIB board",
        "EDMA: DMA error",
        "",
        "EOIP: asynchronous I/O in progress",
        "ECAP: no capability",
        "EFSO: file system error",
        "",
        "EBUS: GPIB bus error",
        "ESTB: serial poll queue overflow",
        "ESRQ: SRQ stuck on",
    };
    if (iberr >= 0 && iberr < int(std::size(kTexts)) && *kTexts[iberr])
        return QString::fromLatin1(kTexts[iberr]);
    return QStringLiteral("GPIB error %1").arg(iberr);
}

bool Ni488Library::load(const QStringList& names) {
    if (isLoaded())
        return true;
    QStringList failures;
    for (const QString& name : names) {
        lib_.setFileName(name);
        if (!lib_.load()) {
            failures << lib_.errorString();
            continue;
        }
        ibdev = reinterpret_cast<IbDev>(lib_.resolve("ibdev"));
        ibwrt = reinterpret_cast<IbWrt>(lib_.resolve("ibwrt"));
        ibrd = reinterpret_cast<IbRd>(lib_.resolve("ibrd"));
        ibonl = reinterpret_cast<IbOnl>(lib_.resolve("ibonl"));
        ibclr = reinterpret_cast<IbUd>(lib_.resolve("ibclr"));
        // Thread-safe status accessors where the driver has them, the
        // classic globals otherwise.
        threadIberr_ = reinterpret_cast<IntFn>(lib_.resolve("ThreadIberr"));
        threadIbcntl_ = reinterpret_cast<LongFn>(lib_.resolve("ThreadIbcntl"));
        iberrVar_ = reinterpret_cast<const int*>(lib_.resolve("iberr"));
        ibcntlVar_ = reinterpret_cast<const long*>(lib_.resolve("ibcntl"));
        if (ibdev && ibwrt && ibrd && (threadIberr_ || iberrVar_) && (threadIbcntl_ || ibcntlVar_))
            return true;
        failures << QStringLiteral("%1 lacks the NI-488.2 entry points").arg(name);
        ibdev = nullptr;
        lib_.unload();
    }
    error_ = tr("The GPIB driver library could not be loaded (%1). Install the "
                "NI-488.2 or linux-gpib driver to use GPIB.\n%2")
                 .arg(names.join(QStringLiteral(", ")), failures.join(QLatin1Char('\n')));
    return false;
}

int Ni488Library::lastError() const {
    if (threadIberr_)
        return threadIberr_();
    return iberrVar_ ? *iberrVar_ : EDVR;
}

long Ni488Library::lastCount() const {
    if (threadIbcntl_)
        return threadIbcntl_();
    return ibcntlVar_ ? *ibcntlVar_ : 0;
}

// Runs the blocking driver calls, one at a time, in submission order.
class Ni488Worker : public QObject {
public:
    Ni488Worker(Ni488Library& lib, Ni488GpibBoard& board) : lib_(lib), board_(board) {}

    void write(int ud, quint64 gen, const QByteArray& bytes) {
        const int status = lib_.ibwrt(ud, bytes.constData(), long(bytes.size()));
        report(gen, status, {}, false);
    }

    void read(int ud, quint64 gen) {
        QByteArray data;
        char chunk[4096];
        int status = 0;
        do {
            status = lib_.ibrd(ud, chunk, long(sizeof chunk));
            if (status & Ni488Library::ERR)
                break;
            const long n = std::clamp(lib_.lastCount(), 0L, long(sizeof chunk));
            data.append(chunk, n);
        } while (!(status & Ni488Library::END) && data.size() < Ni488GpibBoard::kMaxReply);
        report(gen, status, data, true);
    }

    void clear(int ud) {
        if (lib_.ibclr)
            lib_.ibclr(ud);
    }

private:
    void report(quint64 gen, int status, const QByteArray& data, bool isRead) {
        const int err = (status & Ni488Library::ERR) ? lib_.lastError() : 0;
        Ni488GpibBoard* board = &board_;
        QMetaObject::invokeMethod(
            board, [=] { board->finished(gen, status, err, data, isRead); }, Qt::QueuedConnection);
    }

    Ni488Library& lib_;
    Ni488GpibBoard& board_;
};

Ni488GpibBoard::Ni488GpibBoard(QStringList libraryNames, QObject* parent)
    : GpibBoard(parent), libraryNames_(std::move(libraryNames)) {}

Ni488GpibBoard::~Ni488GpibBoard() {
    if (thread_) {
        // Take the device off line after whatever the worker is still doing.
        if (ud_ >= 0 && lib_.ibonl) {
            const int ud = ud_;
            QMetaObject::invokeMethod(
                worker_, [this, ud] { lib_.ibonl(ud, 0); }, Qt::BlockingQueuedConnection);
        }
        thread_->quit();
        thread_->wait();
        delete worker_;
    }
}

bool Ni488GpibBoard::configure(int board, int address) {
    if (!lib_.load(libraryNames_)) {
        error_ = lib_.errorString();
        return false;
    }
    if (!thread_) {
        thread_ = new QThread(this);
        thread_->setObjectName(QStringLiteral("GPIB"));
        worker_ = new Ni488Worker(lib_, *this);
        worker_->moveToThread(thread_);
        thread_->start();
    }
    reset();
    // ibdev only opens a descriptor; it does not wait for the instrument.
    // Terminate writes with EOI, end reads on EOI.
    ud_ = lib_.ibdev(board, address, 0, Ni488Library::T10s, 1, 0);
    if (ud_ < 0) {
        const int err = lib_.lastError();
        error_ = QStringLiteral("GPIB%1 address %2: %3")
                     .arg(board)
                     .arg(address)
                     .arg(Ni488Library::errorText(err));
        return false;
    }
    error_.clear();
    return true;
}

void Ni488GpibBoard::submit(bool isRead, std::function<void(Ni488Worker&, int, quint64)> job) {
    const quint64 gen = generation_;
    if (ud_ < 0) {
        // Not configured (no driver, no device): fail through the error event.
        QMetaObject::invokeMethod(
            this,
            [this, gen, isRead] {
                finished(gen, Ni488Library::ERR, Ni488Library::ENEB, {}, isRead);
            },
            Qt::QueuedConnection);
        return;
    }
    QMetaObject::invokeMethod(
        worker_, [w = worker_, ud = ud_, gen, job = std::move(job)] { job(*w, ud, gen); });
}

void Ni488GpibBoard::writeAsync(const QByteArray& bytes) {
    submit(false, [bytes](Ni488Worker& w, int ud, quint64 gen) { w.write(ud, gen, bytes); });
}

void Ni488GpibBoard::readAsync() {
    submit(true, [](Ni488Worker& w, int ud, quint64 gen) { w.read(ud, gen); });
}

void Ni488GpibBoard::reset() {
    // Outcomes of operations started before the reset are dropped; a device
    // clear empties the instrument's buffers of the abandoned exchange.
    ++generation_;
    if (worker_ && ud_ >= 0) {
        const int ud = ud_;
        QMetaObject::invokeMethod(worker_, [w = worker_, ud] { w->clear(ud); });
    }
}

void Ni488GpibBoard::finished(quint64 generation, int status, int iberr, const QByteArray& data,
                              bool isRead) {
    if (generation != generation_)
        return;
    if (status & Ni488Library::ERR) {
        emit error(iberr, Ni488Library::errorText(iberr));
        return;
    }
    if (isRead)
        emit dataRead(data);
    else
        emit writeComplete();
}

} // namespace trq
