#include "support/uisupport.h"

namespace trq::test {

QAbstractButton* buttonOf(QWidget* window, const QString& text) {
    for (QAbstractButton* b : window->findChildren<QAbstractButton*>())
        if (b->text() == text || b->objectName() == text)
            return b;
    return nullptr;
}

void clickButton(QWidget* window, const QString& text) {
    QAbstractButton* b = buttonOf(window, text);
    QVERIFY2(b, qPrintable(text));
    QTest::mouseClick(b, Qt::LeftButton);
}

} // namespace trq::test
