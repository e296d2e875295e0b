#pragma once

#include <QApplication>
#include <QDialog>
#include <QTimer>
#include <functional>

// Answers the next modal dialog for the user once it is up: calls `answer`
// with it. Keeps polling until a modal dialog appears.
inline void AnswerNextDialog(std::function<void(QDialog*)> answer) {
    auto* timer = new QTimer;
    timer->setInterval(10);
    QObject::connect(timer, &QTimer::timeout, [timer, answer] {
        auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        if (dialog && dialog->isVisible()) {
            timer->stop();
            timer->deleteLater();
            answer(dialog);
        }
    });
    timer->start();
}
