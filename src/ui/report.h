#pragma once

#include <QImage>
#include <QList>
#include <QString>

#include <optional>
#include <utility>
#include <vector>

namespace trq {

// What a test report holds: the record's header, the graph as shown, each
// channel's statistics, the row comments and the events.
struct Report {
    struct Field {
        QString name, value;
    };
    struct ChannelStats {
        QString supply; // a bench's supply, where several are reported
        int channel = 1;
        double minVolt = 0, maxVolt = 0, meanVolt = 0;
        double minCurr = 0, maxCurr = 0, meanCurr = 0;
        std::optional<double> charge, energy; // delivered during the record, where recorded
    };
    QString title;
    std::vector<Field> header; // model, interface, record, description, times, scale…
    QImage graph;
    std::vector<ChannelStats> channels;
    QList<std::pair<QString, QString>> comments; // time, text
    QList<std::pair<QString, QString>> events;   // limits tripped, sequence steps: time, text
};

// Writes the report as an A4 PDF; false with the reason when it cannot.
bool writeReportPdf(const QString& path, const Report& report, QString* error);

} // namespace trq
