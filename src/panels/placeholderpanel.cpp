#include "panels/placeholderpanel.h"

#include "shell/mdiform1.h"

#include <QLabel>
#include <QVBoxLayout>

namespace trq {

PlaceholderPanel::PlaceholderPanel(int layout, MDIForm1& main, CommTasker& tasker,
                                   DataForm& database, QWidget* parent)
    : FrontPanel(main, tasker, database, parent), channels_(layout == 2   ? 1
                                                            : layout == 3 ? 2
                                                                          : 4) {
    setObjectName(QStringLiteral("frmLayout%1").arg(layout));
    setWindowTitle(QStringLiteral("Control"));
    auto* label = new QLabel(
        QStringLiteral("%1 (%2 channels) is identified.\nIts front panel is not available in "
                       "this version.")
            .arg(main.MachineType)
            .arg(channels_),
        this);
    label->setAlignment(Qt::AlignCenter);
    auto* layoutBox = new QVBoxLayout(this);
    layoutBox->addWidget(label);
    resize(420, 160);
}

} // namespace trq
