#pragma once

#include <QLineEdit>

namespace trq {

// A text field that the link can write by name ("Text"); its change handler
// (textChanged) runs only when the text actually changes.
class TextField : public QLineEdit {
    Q_OBJECT
    Q_PROPERTY(QString Text READ text WRITE setText)
public:
    explicit TextField(QWidget* parent = nullptr) : QLineEdit(parent) { setReadOnly(true); }
};

} // namespace trq
