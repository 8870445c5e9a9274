#include "link/commtasker.h"

#include "link/clock.h"
#include "link/dlgwaitrsp.h"
#include "link/transport.h"
#include "shell/debugtrace.h"
#include "shell/prompter.h"

#include <QMetaObject>
#include <QRegularExpression>
#include <QVariant>

namespace trq {

namespace {

const QString kGpib = QStringLiteral("GPIB");
const QString kRs232 = QStringLiteral("RS232");

bool endsWithLineEnd(const QByteArray& text) {
    return !text.isEmpty() && (text.back() == '\n' || text.back() == '\r');
}

int advance(int index) {
    return (index + 1) % CommTasker::kQueueSize;
}

} // namespace

CommTasker::CommTasker(Services services, QObject* parent)
    : QObject(parent), clock_(services.clock), waiter_(services.waiter),
      prompter_(services.prompter) {
    setObjectName(QStringLiteral("CommTasker"));
    writerTimer_.setInterval(kWriterIntervalMsec);
    connect(&writerTimer_, &QTimer::timeout, this,
            [this] { DoWriterTimer(writerTimer_.interval()); });
    devTimer_.setInterval(kDevTimerMsec);
    devTimer_.setSingleShot(true);
    // No serial read is ever owed when this fires; it stays for the record
    // setup, which switches it.
    timer1_.setInterval(kWriterIntervalMsec);
    writerTimer_.start();
}

CommTasker::~CommTasker() = default;

void CommTasker::setSerialPort(SerialPort* port) {
    delete serial_;
    serial_ = port;
    if (serial_) {
        serial_->setParent(this);
        connect(serial_, &SerialPort::lost, this, &CommTasker::onSerialLost);
    }
}

void CommTasker::setGpibBoard(GpibBoard* board) {
    delete gpib_;
    gpib_ = board;
    if (gpib_) {
        gpib_->setParent(this);
        connect(gpib_, &GpibBoard::writeComplete, this, &CommTasker::onGpibWriteComplete);
        connect(gpib_, &GpibBoard::dataRead, this, &CommTasker::onGpibDataRead);
        connect(gpib_, &GpibBoard::error, this, &CommTasker::onGpibError);
    }
}

void CommTasker::setQueryCmdMaxMsec(int msec) {
    QueryCmdMaxMsec_ = std::max(msec, 0);
}

int CommTasker::ValidTaskArraySize(int Size, int HeadI, int TailI) {
    return HeadI >= TailI ? HeadI - TailI : HeadI + Size - TailI;
}

bool CommTasker::linkOpen() const {
    // A link with neither transport chosen (off line, or a model chosen by
    // hand) takes nothing.
    return !IsRejectAnyTask_ && (CommType_ == kGpib || CommType_ == kRs232);
}

void CommTasker::enqueue(Queue& queue, int& insertIndex, int& count, const QString& xOutString,
                         qint32 xRspType, QObject* xObj, const QString& xCallName, qint32 xCallType,
                         bool xIsNeedingAck) {
    TaskRecord& t = queue[std::size_t(insertIndex)];
    t.OutString = xOutString;
    t.RspType = xRspType;
    t.Obj = xObj;
    t.CallName = xCallName;
    t.CallType = xCallType;
    t.Rsp.reset();
    t.State = 0;
    t.Cancelled = false;
    t.IsNeedingAck = xIsNeedingAck;
    insertIndex = advance(insertIndex);
    ++count;
}

bool CommTasker::ExecQueryTask(const QString& xOutString, qint32 xRspType, QObject* xObj,
                               const QString& xCallName, qint32 xCallType, bool xIsNeedingAck) {
    printd(QStringLiteral("ExecQueryTask:") + QString::number(QueryTaskCount_));
    if (!linkOpen())
        return false;
    if (QueryTaskCount_ >= kMaxPending) {
        printd(QStringLiteral("Q overflowed, just dropped:") + xOutString);
        return false;
    }
    printd(QStringLiteral("ExecQueryTask ") + xOutString);
    enqueue(QueryTasks_, QueryInsertIndex_, QueryTaskCount_, xOutString, xRspType, xObj, xCallName,
            xCallType, xIsNeedingAck);
    return true;
}

void CommTasker::ExecCmdTask(const QString& xOutString, qint32 xRspType, QObject* xObj,
                             const QString& xCallName, qint32 xCallType, bool) {
    if (!linkOpen())
        return;
    if (CmdTaskCount_ >= kMaxPending) {
        printd(QStringLiteral("C overflowed, just dropped it:") + xOutString);
        return;
    }
    printd(QStringLiteral("ExecCmdTask ") + xOutString);
    enqueue(CmdTasks_, CmdInsertIndex_, CmdTaskCount_, xOutString, xRspType, xObj, xCallName,
            xCallType, false);
}

bool CommTasker::ExecQueryTask7206(const QString& xOutString, qint32, QObject* xObj, const QString&,
                                   qint32, bool) {
    // The exchange lets events run; a consumer or another exchange started
    // meanwhile would interleave on the same line, so wait for the next poll.
    if (IsQueueLocked_ != 0 || OpMode_ != 0) {
        printd(QStringLiteral("ExecQueryTask7206 busy: ") + xOutString);
        return true;
    }
    ++IsQueueLocked_;
    QString reply = QString::fromLatin1(QuerySerial(xOutString));
    --IsQueueLocked_;
    // Whatever line end the supply uses (CR LF, or LF alone) is not part of
    // the value; of several lines the newest counts, as with every reply.
    static const QRegularExpression lineEnds(QStringLiteral("[\r\n]+"));
    const QStringList lines = reply.split(lineEnds, Qt::SkipEmptyParts);
    reply = lines.isEmpty() ? QString() : lines.constLast();
    // The status reply is a row of flags, not a value with a unit: the value
    // filter below would never let it through, so it goes whole.
    if (xOutString == QLatin1String(kStatusQuery)) {
        if (!reply.isEmpty() && xObj)
            xObj->setProperty("Text", reply);
        return true;
    }
    // A value and its unit letter ("01.500V"); anything shorter or longer is
    // not a reading.
    if (reply.size() < 2 || reply.size() > 7)
        return true;
    const QChar unit =
        xOutString.startsWith(QLatin1Char('V')) ? QLatin1Char('V') : QLatin1Char('A');
    if (reply.contains(unit) && xObj)
        xObj->setProperty("Text", reply.endsWith(unit) ? reply.chopped(1) : reply);
    return true;
}

void CommTasker::SetupTimeoutTask(QObject* xObj, const QString& xCallName) {
    TimeoutObj_ = xObj;
    TimeoutCallName_ = xCallName;
}

void CommTasker::ResetTimeoutTask() {
    TimeoutObj_ = nullptr;
    TimeoutCallName_.clear();
}

void CommTasker::TimeoutTask() {
    IsQueryPending_ = false;
    IsCommandPending_ = false;
    if (QObject* target = TimeoutObj_.data()) {
        const QByteArray name = TimeoutCallName_.toLatin1();
        if (!QMetaObject::invokeMethod(target, name.constData(), Qt::DirectConnection))
            printd(QStringLiteral("Timeout procedure not found: ") + TimeoutCallName_);
    }
    ResetAll();
}

void CommTasker::ResetTasks() {
    QueryInsertIndex_ = QueryRemoveIndex_ = 0;
    CmdInsertIndex_ = CmdRemoveIndex_ = 0;
    QueryTaskCount_ = CmdTaskCount_ = 0;
    rsp_.ResetRspArray();
    WriterKind_ = 0;
    ++resetEpoch_;
}

void CommTasker::ResetQueryTasks() {
    for (TaskRecord& t : QueryTasks_)
        t.Cancelled = true;
}

bool CommTasker::ClearAllTasks() {
    bool result = false;
    IsRejectAnyTask_ = true;
    const bool quiet = quietWaiter_ ? quietWaiter_() : dlgWaitRsp(*this).Execute();
    if (quiet) {
        QueryInsertIndex_ = QueryRemoveIndex_ = 0;
        CmdInsertIndex_ = CmdRemoveIndex_ = 0;
        QueryTaskCount_ = CmdTaskCount_ = 0;
        rsp_.ResetRspArray();
        ++resetEpoch_;
        result = true;
    }
    IsRejectAnyTask_ = false;
    return result;
}

void CommTasker::ResetAll() {
    ResetTasks();
    if (gpib_)
        gpib_->reset();
    ResetTimeoutTask();
    OpMode_ = 0;
    IsQueryPending_ = false;
    IsCommandPending_ = false;
    AckWait_ = false;
    IsRejectAnyTask_ = false;
    LastRspMsec_ = -1;
    MaxRspTimeMsec_ = 0;
    CurQueryCmdCnt_ = 0;
    CurQuerySpentMsec_ = 0;
}

void CommTasker::timeoutWithMessage(const QString& text) {
    if (inTimeout_)
        return;
    inTimeout_ = true;
    emit linkFailed();
    if (!text.isEmpty())
        prompter_.message(text);
    TimeoutTask();
    inTimeout_ = false;
}

void CommTasker::DoWriterTimer(int IntervalMsec) {
    if (LastRspMsec_ < 0)
        LastRspMsec_ = qint64(clock_.nowSec() * 1000.0);

    // A vanished serial device ends like an operation that never completes,
    // but at once and only between consumer runs.
    if (serialLost_ && IsQueueLocked_ == 0 && !inTimeout_) {
        serialLost_ = false;
        printd("Serial link lost, reset");
        timeoutWithMessage({});
        return;
    }

    ConsumeTask();

    const qint64 now = qint64(clock_.nowSec() * 1000.0);
    if (IsQueryPending_ || IsCommandPending_) {
        RspTimeMsec_ = now - LastRspMsec_;
        MaxRspTimeMsec_ = std::max(MaxRspTimeMsec_, RspTimeMsec_);
        if (RspTimeMsec_ > kTimeoutMsec && !inTimeout_) {
            timeoutWithMessage(QString::number(RspTimeSec()));
            return;
        }
    } else {
        LastRspMsec_ = now;
    }

    if (host_ && host_->isPollTimerEnabled()) {
        if (CurQueryCmdCnt_ < QueryCmdCnt_) {
            CurQuerySpentMsec_ += IntervalMsec;
        } else {
            CurQueryCmdCnt_ = 0;
            CurQuerySpentMsec_ = 0;
        }
        if (QueryCmdMaxMsec_ > 0) {
            if (CurQuerySpentMsec_ > QueryCmdMaxMsec_) {
                host_->ReportStatus(QStringLiteral("Read Times Failed!"), 2000);
                CurQuerySpentMsec_ = 0;
            }
        } else {
            CurQuerySpentMsec_ = 0;
        }
    } else {
        CurQueryCmdCnt_ = 0;
        CurQuerySpentMsec_ = 0;
    }
}

void CommTasker::ConsumeTask() {
    ConsumeCmdTask();
    ConsumeQueryTask();
}

void CommTasker::deliver(TaskRecord& t) {
    QObject* target = t.Obj.data();
    const QString reply = t.Rsp.value_or(QString());
    const QByteArray name = t.CallName.toLatin1();
    if (!target) {
        printd(QStringLiteral("no target for ") + t.OutString);
        return;
    }
    bool done = false;
    if (t.CallType == CallProcedure)
        done = QMetaObject::invokeMethod(target, name.constData(), Qt::DirectConnection,
                                         Q_ARG(QString, reply));
    else if (t.CallType == AssignProperty)
        done = target->setProperty(name.constData(), reply);
    if (!done)
        printd(QStringLiteral("cannot deliver to ") + t.CallName);
}

void CommTasker::ConsumeQueryTask() {
    if (AckWait_ || IsCommandPending_ || IsQueueLocked_ != 0)
        return;
    IsQueueLocked_ = 1;
    if (QueryRemoveIndex_ != QueryInsertIndex_) {
        TaskRecord& t = QueryTasks_[std::size_t(QueryRemoveIndex_)];
        if (CommType_ == kGpib) {
            consumeGpibQuery(t);
            if (IsQueueLocked_ == 0) // left waiting for the transport
                return;
        } else if (CommType_ == kRs232) {
            consumeSerialQuery(t);
        }
    }
    IsQueueLocked_ -= 1;
    printd(queryConsumerRuns_ == 0 ? QStringLiteral("Q-")
                                   : QStringLiteral("Q-") + QString::number(queryConsumerRuns_));
    ++queryConsumerRuns_;
}

void CommTasker::consumeGpibQuery(TaskRecord& t) {
    for (;;) {
        switch (t.State) {
        case 0:
            printd("Q setup");
            if (t.Cancelled) {
                t.State = 4;
                continue;
            }
            t.State = 1;
            if (t.RspType == 0)
                continue;
            return; // a query that expects a reply is written on the next tick
        case 1:
            printd("Q waitwrite");
            if (t.Cancelled) {
                t.State = 4;
                continue;
            }
            if (OpMode_ > 0) {
                printd(QStringLiteral("OpMode ") + QString::number(OpMode_));
                IsQueueLocked_ -= 1;
                printd("QueryWaitWriteErrorWait");
                return;
            }
            IsQueryPending_ = true;
            WriterKind_ = 0;
            if (gpib_)
                gpib_->writeAsync(t.OutString.toLatin1());
            OpMode_ = 1;
            printd("opmode = 1");
            t.State = 2;
            continue;
        case 2:
            printd("Q waitrsp");
            if (t.RspType == 0) {
                t.State = 4;
                continue;
            }
            if (rsp_.RspCount() == 0)
                return;
            t.Rsp = rsp_.RspPop();
            if (t.Cancelled)
                printd("query paired but cancelled");
            else
                printd(QStringLiteral("query paired:'") + t.OutString + QStringLiteral("' '") +
                       *t.Rsp + QLatin1Char('\''));
            t.State = 3;
            continue;
        case 3: {
            printd("Q waitcall");
            if (t.Cancelled) {
                t.State = 4;
                continue;
            }
            const quint64 epoch = resetEpoch_;
            deliver(t);
            printd("Q x called");
            if (epoch != resetEpoch_) // the handler reset the link
                return;
            t.State = 4;
            continue;
        }
        case 4:
            printd("Q finished");
            finishQuery(t);
            return;
        default:
            return;
        }
    }
}

void CommTasker::consumeSerialQuery(TaskRecord& t) {
    const quint64 epoch = resetEpoch_;
    if (!t.OutString.contains(QLatin1Char('?'))) {
        // Nothing to pair: send it as a command and go on.
        SendSerial(t.OutString);
    } else {
        IsQueryPending_ = true;
        WriterKind_ = 0;
        OpMode_ = 1;
        const QByteArray result = QuerySerial(t.OutString);
        if (epoch != resetEpoch_)
            return;
        rsp_.RspTask(result);
        if (result.trimmed().isEmpty() || rsp_.RspCount() == 0) {
            // A lost device is reported once, by the timeout procedure.
            if (result.trimmed().isEmpty() && !serialLost_)
                prompter_.ask(QStringLiteral("Cannot get Data from device!"), {},
                              Prompter::Icon::Question, Prompter::Buttons::Ok);
        } else {
            t.Rsp = rsp_.RspPop();
            deliver(t);
            printd("Q x called");
        }
        if (epoch != resetEpoch_)
            return;
    }
    if (t.Cancelled)
        rsp_.ResetRspArray();
    IsQueryPending_ = false;
    if (CurQueryCmdCnt_ < QueryCmdCnt_)
        ++CurQueryCmdCnt_;
    QueryRemoveIndex_ = advance(QueryRemoveIndex_);
    QueryTaskCount_ = ValidTaskArraySize(kQueueSize, QueryInsertIndex_, QueryRemoveIndex_);
    OpMode_ = 0;
}

void CommTasker::finishQuery(TaskRecord& t) {
    if (t.Cancelled)
        rsp_.ResetRspArray();
    IsQueryPending_ = false;
    AckWait_ = t.IsNeedingAck;
    if (CurQueryCmdCnt_ < QueryCmdCnt_)
        ++CurQueryCmdCnt_;
    QueryRemoveIndex_ = advance(QueryRemoveIndex_);
    QueryTaskCount_ = ValidTaskArraySize(kQueueSize, QueryInsertIndex_, QueryRemoveIndex_);
}

void CommTasker::ConsumeCmdTask() {
    if (AckWait_ || IsQueryPending_ || IsQueueLocked_ != 0)
        return;
    IsQueueLocked_ = 1;
    printd("C+");
    const quint64 epoch = resetEpoch_;
    bool running = CmdRemoveIndex_ != CmdInsertIndex_;
    while (running) {
        TaskRecord& t = CmdTasks_[std::size_t(CmdRemoveIndex_)];
        switch (t.State) {
        case 0:
            printd("C Setup");
            if (t.Cancelled) {
                t.State = 4;
                break;
            }
            t.State = 1;
            running = t.RspType == 0;
            break;
        case 1:
            printd("C setup");
            if (t.Cancelled) {
                t.State = 4;
                break;
            }
            if (OpMode_ > 0) {
                printd(QStringLiteral("C OpMode ") + QString::number(OpMode_));
                printd("C-");
                IsQueueLocked_ -= 1;
                printd("CmdWaitWriteErrorWait");
                return;
            }
            IsCommandPending_ = true;
            WriterKind_ = 1;
            printd("C WaitWrite");
            printd(t.OutString);
            if (CommType_ == kRs232) {
                OpMode_ = 1;
                printd("C opmode = 1");
                if (!t.OutString.contains(QLatin1Char('?')))
                    SendSerial(t.OutString);
                else
                    rsp_.RspTask(QuerySerial(t.OutString));
                if (epoch != resetEpoch_) {
                    running = false;
                    break;
                }
            } else if (CommType_ == kGpib) {
                if (gpib_)
                    gpib_->writeAsync(t.OutString.toLatin1());
                printd("C opmode = 1");
                OpMode_ = 1;
            }
            t.State = 2;
            break;
        case 2:
            if (t.RspType == 0) {
                t.State = 4;
                break;
            }
            if (rsp_.RspCount() == 0) {
                running = false;
                break;
            }
            t.Rsp = rsp_.RspPop();
            printd(QStringLiteral("command paired:'") + t.OutString + QStringLiteral("' '") +
                   *t.Rsp + QLatin1Char('\''));
            t.State = 3;
            break;
        case 3:
            if (t.Cancelled) {
                printd("cmd paired but cancelled");
            } else {
                deliver(t);
                if (epoch != resetEpoch_) {
                    running = false;
                    break;
                }
            }
            t.State = 4;
            break;
        case 4:
            AckWait_ = false;
            CmdRemoveIndex_ = advance(CmdRemoveIndex_);
            CmdTaskCount_ = ValidTaskArraySize(kQueueSize, CmdInsertIndex_, CmdRemoveIndex_);
            IsCommandPending_ = false;
            running = false;
            break;
        default:
            running = false;
            break;
        }
    }
    IsQueueLocked_ -= 1;
    printd("C-");
}

void CommTasker::writeSerial(const QString& text) {
    if (serial_)
        serial_->write(text.toLatin1() + terminator_);
}

QByteArray CommTasker::readSerial() {
    return serial_ ? serial_->readAll() : QByteArray();
}

void CommTasker::SendSerial(const QString& text) {
    OpMode_ = 1;
    writeSerial(text);
    OpMode_ = text.contains(QLatin1Char('?')) ? 2 : 0;
}

QByteArray CommTasker::QuerySerial(const QString& text) {
    OpMode_ = 1;
    writeSerial(text);
    OpMode_ = 2;
    waiter_.letEventsRun();
    if (text == QLatin1String("*IDN?"))
        waiter_.wait(150);
    waiter_.wait(50);
    QByteArray answer = readSerial();
    if (answer.isEmpty()) {
        waiter_.letEventsRun();
        waiter_.wait(100);
        answer = readSerial();
    }
    // A failed exchange leaves the link idle, so commands are not held back.
    if (answer.isEmpty()) {
        OpMode_ = 0;
        return {};
    }
    if (!endsWithLineEnd(answer)) {
        waiter_.letEventsRun();
        waiter_.wait(50);
        answer += readSerial();
        if (!endsWithLineEnd(answer)) {
            OpMode_ = 0;
            return {};
        }
    }
    OpMode_ = 0;
    return answer;
}

void CommTasker::onGpibWriteComplete() {
    printd("GPIB WriteComplete");
    const TaskRecord& t = WriterKind_ == 0 ? QueryTasks_[std::size_t(QueryRemoveIndex_)]
                                           : CmdTasks_[std::size_t(CmdRemoveIndex_)];
    OpMode_ = 0;
    if (t.RspType != 0 && gpib_) {
        gpib_->readAsync();
        printd("GPIB ReadAsync");
        OpMode_ = 2;
    }
}

void CommTasker::onGpibDataRead(const QByteArray& bytes) {
    printd("GPIB DataRead");
    rsp_.RspTask(bytes);
    OpMode_ = 0;
}

void CommTasker::onGpibError(int number, const QString& description) {
    printd(QStringLiteral("GPIB error ") + QString::number(number) + QStringLiteral(": ") +
           description);
    timeoutWithMessage(QString::number(number));
}

void CommTasker::onSerialLost(const QString& reason) {
    printd(QStringLiteral("Serial lost: ") + reason);
    serialLost_ = true;
}

} // namespace trq
