#pragma once

#include "link/replybuffer.h"

#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>

#include <array>
#include <functional>
#include <optional>

namespace trq {

class Clock;
class GpibBoard;
class Prompter;
class SerialPort;
class Waiter;

// One queue slot. Query tasks expect one reply line; command tasks none.
struct TaskRecord {
    QString OutString;
    qint32 RspType = 0;
    QPointer<QObject> Obj;
    QString CallName;
    qint32 CallType = 0;
    std::optional<QString> Rsp;
    qint32 State = 0;
    bool Cancelled = false;
    bool IsNeedingAck = false;
};

// What the link needs from the main window.
class LinkHost {
public:
    virtual ~LinkHost() = default;
    // Whether the panel's poll timer runs (the poll-cycle check follows it).
    virtual bool isPollTimerEnabled() const = 0;
    virtual void ReportStatus(const QString& text, int msec) = 0;
};

// The single owner of the instrument link: queues query and command tasks,
// writes them one at a time on the writer tick, pairs replies with queries
// and delivers them by name; watches for operations that never complete.
class CommTasker : public QObject {
    Q_OBJECT
public:
    static constexpr int kQueueSize = 200;
    static constexpr int kMaxPending = 99;
    static constexpr qint64 kTimeoutMsec = 20000;
    static constexpr int kWriterIntervalMsec = 100;
    static constexpr int kDevTimerMsec = 100;
    static constexpr const char* kStatusQuery = "STATUS?";

    enum CallTypes { CallProcedure = 1, AssignProperty = 4 };

    struct Services {
        Clock& clock;
        Waiter& waiter;
        Prompter& prompter;
    };

    explicit CommTasker(Services services, QObject* parent = nullptr);
    ~CommTasker() override;

    // Transports; the tasker owns them. CommType chooses which carries traffic.
    void setSerialPort(SerialPort* port);
    void setGpibBoard(GpibBoard* board);
    SerialPort* serialPort() const { return serial_; }
    GpibBoard* gpibBoard() const { return gpib_; }
    void setLinkHost(LinkHost* host) { host_ = host; }
    // Waits for the link to become quiet before the queues are emptied;
    // returns true when the queues may be emptied. Defaults to dlgWaitRsp.
    void setQuietWaiter(std::function<bool()> waiter) { quietWaiter_ = std::move(waiter); }

    // Appended to every serial write: LF until a command family is chosen.
    void setSerialTerminator(const QByteArray& terminator) { terminator_ = terminator; }
    const QByteArray& serialTerminator() const { return terminator_; }

    bool ExecQueryTask(const QString& xOutString, qint32 xRspType, QObject* xObj,
                       const QString& xCallName, qint32 xCallType, bool xIsNeedingAck = false);
    void ExecCmdTask(const QString& xOutString, qint32 xRspType, QObject* xObj,
                     const QString& xCallName, qint32 xCallType, bool xIsNeedingAck = false);
    bool ExecQueryTask7206(const QString& xOutString, qint32 xRspType, QObject* xObj,
                           const QString& xCallName, qint32 xCallType, bool xIsNeedingAck = false);

    void SetupTimeoutTask(QObject* xObj, const QString& xCallName);
    void ResetTimeoutTask();
    void TimeoutTask();
    void ResetTasks();
    void ResetQueryTasks();
    bool ClearAllTasks();
    void TaskAck() { AckWait_ = false; }
    void ResetAll();
    void DoWriterTimer(int IntervalMsec);
    void ConsumeTask();

    // Transport halves used by the consumers and by the interface dialogs.
    void SendSerial(const QString& text);
    QByteArray QuerySerial(const QString& text);

    // Public values.
    int QueryTaskCount() const { return QueryTaskCount_; }
    int CmdTaskCount() const { return CmdTaskCount_; }
    bool IsQueryPending() const { return IsQueryPending_; }
    bool IsCommandPending() const { return IsCommandPending_; }
    bool IsRejectAnyTask() const { return IsRejectAnyTask_; }
    void setIsRejectAnyTask(bool reject) { IsRejectAnyTask_ = reject; }
    const QString& CommType() const { return CommType_; }
    void setCommType(const QString& type) { CommType_ = type; }
    double RspTimeSec() const { return double(RspTimeMsec_) / 1000.0; }
    double MaxRspTimeSec() const { return double(MaxRspTimeMsec_) / 1000.0; }
    double LastRspTimeSec() const { return LastRspMsec_ < 0 ? -1 : double(LastRspMsec_) / 1000.0; }
    int QueryCmdCnt() const { return QueryCmdCnt_; }
    void setQueryCmdCnt(int count) { QueryCmdCnt_ = count; }
    int QueryCmdMaxMsec() const { return QueryCmdMaxMsec_; }
    void setQueryCmdMaxMsec(int msec);
    int CurQueryCmdCnt() const { return CurQueryCmdCnt_; }
    int CurQuerySpentMsec() const { return CurQuerySpentMsec_; }
    int IsQueueLocked() const { return IsQueueLocked_; }

    int OpMode() const { return OpMode_; }
    const ReplyBuffer& replies() const { return rsp_; }
    ReplyBuffer& replies() { return rsp_; }
    const TaskRecord& queryTask(int index) const { return QueryTasks_[std::size_t(index)]; }
    int queryInsertIndex() const { return QueryInsertIndex_; }
    int queryRemoveIndex() const { return QueryRemoveIndex_; }
    int cmdInsertIndex() const { return CmdInsertIndex_; }
    int cmdRemoveIndex() const { return CmdRemoveIndex_; }

    QTimer& WriterTimer() { return writerTimer_; }
    QTimer& DevTimer() { return devTimer_; }
    QTimer& Timer1() { return timer1_; }

    static int ValidTaskArraySize(int Size, int HeadI, int TailI);

signals:
    // The link has failed (timeout, lost device, GPIB error): emitted before
    // anything is shown to the user, so recording and polling stop at once.
    void linkFailed();

private:
    using Queue = std::array<TaskRecord, kQueueSize>;

    void ConsumeQueryTask();
    void ConsumeCmdTask();
    void consumeGpibQuery(TaskRecord& t);
    void consumeSerialQuery(TaskRecord& t);
    void finishQuery(TaskRecord& t);
    void deliver(TaskRecord& t);
    static void enqueue(Queue& queue, int& insertIndex, int& count, const QString& xOutString,
                        qint32 xRspType, QObject* xObj, const QString& xCallName, qint32 xCallType,
                        bool xIsNeedingAck);
    bool linkOpen() const;
    void writeSerial(const QString& text);
    QByteArray readSerial();
    void onGpibWriteComplete();
    void onGpibDataRead(const QByteArray& bytes);
    void onGpibError(int number, const QString& description);
    void onSerialLost(const QString& reason);
    // Runs a timeout once; nested ticks while its message is shown skip it.
    void timeoutWithMessage(const QString& text);

    Clock& clock_;
    Waiter& waiter_;
    Prompter& prompter_;
    LinkHost* host_ = nullptr;
    std::function<bool()> quietWaiter_;
    SerialPort* serial_ = nullptr;
    GpibBoard* gpib_ = nullptr;
    QByteArray terminator_ = "\n";

    Queue QueryTasks_;
    Queue CmdTasks_;
    int QueryInsertIndex_ = 0, QueryRemoveIndex_ = 0;
    int CmdInsertIndex_ = 0, CmdRemoveIndex_ = 0;
    int QueryTaskCount_ = 0;
    int CmdTaskCount_ = 0;
    bool IsQueryPending_ = false;
    bool IsCommandPending_ = false;
    bool IsRejectAnyTask_ = false;
    QString CommType_;
    qint64 RspTimeMsec_ = 0;
    qint64 MaxRspTimeMsec_ = 0;
    qint64 LastRspMsec_ = -1;
    int QueryCmdCnt_ = 0;
    qint32 QueryCmdMaxMsec_ = 0; // 32 bits: read times up to 120 s
    int CurQueryCmdCnt_ = 0;
    int CurQuerySpentMsec_ = 0;
    int IsQueueLocked_ = 0;

    int OpMode_ = 0;
    int WriterKind_ = 0;
    bool AckWait_ = false;
    ReplyBuffer rsp_;
    QPointer<QObject> TimeoutObj_;
    QString TimeoutCallName_;

    // Bumped by every queue reset, so a consumer that let events run (a
    // delivery, a serial wait, a message box) sees that its record is gone.
    quint64 resetEpoch_ = 0;
    int queryConsumerRuns_ = 0;
    bool serialLost_ = false;
    bool inTimeout_ = false;

    QTimer writerTimer_;
    QTimer devTimer_;
    QTimer timer1_;
};

} // namespace trq
