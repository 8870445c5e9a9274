#pragma once

#include <QObject>
#include <QString>

namespace trq {

// A hidden text field that receives a reply by name ("Text"). Its change
// handler runs only when the text actually changes, so a panel that wants to
// see the same value again clears the field first.
class ReplyField : public QObject {
    Q_OBJECT
    Q_PROPERTY(QString Text READ Text WRITE setText NOTIFY Change)
public:
    using QObject::QObject;

    const QString& Text() const { return text_; }
    void setText(const QString& text) {
        if (text == text_)
            return;
        text_ = text;
        emit Change(text_);
    }

signals:
    void Change(const QString& text);

private:
    QString text_;
};

} // namespace trq
