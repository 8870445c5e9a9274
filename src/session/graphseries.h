#pragma once

#include "session/recordingengine.h"

#include <QObject>
#include <QVector>

#include <algorithm>
#include <array>

namespace trq {

// What the graph window draws: one voltage and one current series per
// channel, growing with the recording, and the Start button's caption.
class GraphSeries : public QObject, public RecordingView {
    Q_OBJECT
public:
    explicit GraphSeries(int channels, QObject* parent = nullptr);

    int channels() const { return channels_; }
    void setChannels(int channels) { channels_ = std::clamp(channels, 1, 4); }
    // Seconds per point on the time axis for a record scale.
    static int secondsPerPoint(int scale);

    void clear();
    void append(const SampleRow& row);
    // Series 1..8: voltage and current of channels 1..4, one value per sample.
    void replace(std::array<QVector<double>, 8> series);

    const QVector<double>& voltage(int channel) const { return series_[std::size_t(channel * 2)]; }
    const QVector<double>& current(int channel) const {
        return series_[std::size_t(channel * 2 + 1)];
    }
    const QString& startCaption() const { return startCaption_; }

    void recordingStarted(const QDateTime&, const QDateTime&) override;
    void recordingStopped(const QDateTime&) override;
    void pointWritten(const SampleRow& row) override { append(row); }
    void cleared() override {}

signals:
    void pointAdded(int index);
    void replaced();
    void emptied();
    void startCaptionChanged(const QString& caption);

private:
    int channels_;
    std::array<QVector<double>, 8> series_;
    QString startCaption_ = QStringLiteral("Start");
};

} // namespace trq
