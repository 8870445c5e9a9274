#include "ui/report.h"

#include <algorithm>

#include "core/numbers.h"

#include <QCoreApplication>
#include <QFile>
#include <QFontMetricsF>
#include <QPainter>
#include <QPdfWriter>

namespace trq {

namespace {

struct ReportText {
    Q_DECLARE_TR_FUNCTIONS(ReportText)
};

} // namespace

namespace {

QString number(double v) {
    return shownNumber(v, 6);
}

// Lays text out top to bottom over as many pages as it takes.
class PageWriter {
public:
    PageWriter(QPdfWriter& writer, QPainter& painter) : writer_(writer), painter_(painter) {
        page_ = painter.viewport();
    }
    double width() const { return page_.width(); }
    void line(const QString& text, const QFont& font) {
        painter_.setFont(font);
        const double h = QFontMetricsF(font, &writer_).lineSpacing();
        room(h);
        painter_.drawText(QRectF(0, y_, width(), h), Qt::AlignLeft | Qt::AlignVCenter, text);
        y_ += h;
    }
    // Columns of one row, each in its share of the width.
    void row(const QStringList& cells, const QFont& font) {
        painter_.setFont(font);
        const double h = QFontMetricsF(font, &writer_).lineSpacing();
        room(h);
        const double w = width() / double(std::max<qsizetype>(cells.size(), 1));
        for (qsizetype i = 0; i < cells.size(); ++i)
            painter_.drawText(QRectF(double(i) * w, y_, w, h), Qt::AlignLeft | Qt::AlignVCenter,
                              cells.at(i));
        y_ += h;
    }
    void image(const QImage& image) {
        if (image.isNull())
            return;
        const double h = width() * image.height() / std::max(image.width(), 1);
        room(h);
        painter_.drawImage(QRectF(0, y_, width(), h), image);
        y_ += h;
    }
    void space(double h) { y_ += h; }

private:
    void room(double h) {
        if (y_ + h > page_.height() && y_ > 0) {
            writer_.newPage();
            y_ = 0;
        }
    }
    QPdfWriter& writer_;
    QPainter& painter_;
    QRect page_;
    double y_ = 0;
};

} // namespace

bool writeReportPdf(const QString& path, const Report& r, QString* error) {
    QFile probe(path);
    if (!probe.open(QIODevice::WriteOnly)) {
        *error = probe.errorString();
        return false;
    }
    probe.close();
    QPdfWriter writer(path);
    writer.setPageSize(QPageSize(QPageSize::A4));
    writer.setPageMargins(QMarginsF(15, 15, 15, 15), QPageLayout::Millimeter);
    writer.setResolution(300);
    writer.setTitle(r.title);
    writer.setCreator(QStringLiteral("POWER_TRQ"));
    QPainter painter;
    if (!painter.begin(&writer)) {
        *error = ReportText::tr("The PDF file could not be written.");
        return false;
    }
    QFont title(QStringLiteral("DejaVu Sans"), 16, QFont::Bold);
    QFont heading(QStringLiteral("DejaVu Sans"), 11, QFont::Bold);
    QFont body(QStringLiteral("DejaVu Sans"), 9);
    PageWriter page(writer, painter);
    page.line(r.title, title);
    page.space(20);
    for (const Report::Field& f : r.header)
        page.row({f.name, f.value}, body);
    page.space(40);
    page.image(r.graph);
    page.space(40);
    page.line(ReportText::tr("Statistics"), heading);
    page.row({ReportText::tr("Channel"), ReportText::tr("Min V"), ReportText::tr("Max V"),
              ReportText::tr("Mean V"), ReportText::tr("Min A"), ReportText::tr("Max A"),
              ReportText::tr("Mean A"), ReportText::tr("Charge Ah"), ReportText::tr("Energy Wh")},
             body);
    for (const Report::ChannelStats& c : r.channels)
        page.row({(c.supply.isEmpty() ? QString() : c.supply + QLatin1Char(' ')) +
                      QStringLiteral("CH%1").arg(c.channel),
                  number(c.minVolt), number(c.maxVolt), number(c.meanVolt), number(c.minCurr),
                  number(c.maxCurr), number(c.meanCurr),
                  c.charge ? number(*c.charge) : QStringLiteral("-"),
                  c.energy ? number(*c.energy) : QStringLiteral("-")},
                 body);
    page.line(ReportText::tr("Charge and energy: delivered during the record (last point less "
                             "first)."),
              body);
    if (!r.comments.isEmpty()) {
        page.space(40);
        page.line(ReportText::tr("Comments"), heading);
        for (const auto& [time, text] : r.comments)
            page.row({time, text}, body);
    }
    if (!r.events.isEmpty()) {
        page.space(40);
        page.line(ReportText::tr("Events"), heading);
        // A long sequence has a step a second for days: its start tells enough.
        constexpr qsizetype kListed = 500;
        for (qsizetype i = 0; i < std::min(r.events.size(), kListed); ++i)
            page.row({r.events.at(i).first, r.events.at(i).second}, body);
        if (r.events.size() > kListed)
            page.line(ReportText::tr("… and %1 more.").arg(r.events.size() - kListed), body);
    }
    if (!painter.end()) {
        *error = ReportText::tr("The PDF file could not be written.");
        return false;
    }
    return true;
}

} // namespace trq
