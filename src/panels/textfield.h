#pragma once

#include <QLineEdit>

namespace trq {

// A text field that the link can write by name ("Text"); its change handler
// (textChanged) runs only when the text actually changes. What the link
// writes is also reported as a reply, apart from the panel's own texts.
class TextField : public QLineEdit {
    Q_OBJECT
    Q_PROPERTY(QString Text READ text WRITE setReply)
public:
    explicit TextField(QWidget* parent = nullptr) : QLineEdit(parent) { setReadOnly(true); }
    void setReply(const QString& text) {
        setText(text);
        emit replied(text);
    }

signals:
    void replied(const QString& text);
};

} // namespace trq
