#pragma once

#include "record/recordingengine.h"

#include <QObject>
#include <QVector>

#include <algorithm>
#include <array>

namespace trq {

// The data side of the graph window: one voltage and one current series per
// channel, growing with the recording, and the Start button's caption. The
// plot that draws them is the graph window's.
class GraphRecord : public QObject, public RecordingView {
    Q_OBJECT
public:
    explicit GraphRecord(int channels, QObject* parent = nullptr);

    int channels() const { return channels_; }
    void setChannels(int channels) { channels_ = std::clamp(channels, 1, 4); }
    // Seconds per point on the time axis for a record scale.
    static int secondsPerPoint(int recScale);

    void ClearGraph();
    void ShowGraph(const SampleRow& row);
    // Series 1..8: voltage and current of channels 1..4, one value per sample.
    void ReDraw(std::array<QVector<double>, 8> series);

    const QVector<double>& voltage(int channel) const { return series_[std::size_t(channel * 2)]; }
    const QVector<double>& current(int channel) const {
        return series_[std::size_t(channel * 2 + 1)];
    }
    const QString& startCaption() const { return startCaption_; }

    void recordingStarted(const QDateTime&, const QDateTime&) override;
    void recordingStopped(const QDateTime&) override;
    void pointWritten(const SampleRow& row) override { ShowGraph(row); }
    void cleared() override {}

signals:
    void pointAdded(int index);
    void redrawn();
    void graphCleared();
    void startCaptionChanged(const QString& caption);

private:
    void append(const SampleRow& row);

    int channels_;
    std::array<QVector<double>, 8> series_;
    QString startCaption_ = QStringLiteral("Start");
};

} // namespace trq
