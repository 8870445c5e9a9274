#pragma once

#include <QDialog>

namespace trq {

class Prompter;

// The about box: name, version, and the system-information tool.
class AboutDialog : public QDialog {
    Q_OBJECT
public:
    explicit AboutDialog(Prompter& prompter, QWidget* parent = nullptr);

    void startSystemInfo();
    // The platform's system-information tool, or empty when there is none.
    static QString systemInfoTool();

private:
    Prompter& prompter_;
};

} // namespace trq
