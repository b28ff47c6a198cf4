#include "app/message_box.h"

#include "app/texts.h"

#include <QMessageBox>

namespace salvex::app {

namespace {

QMessageBox::Icon icon_of(MessageKind kind) {
    switch (kind) {
    case MessageKind::Information:
        return QMessageBox::Information;
    case MessageKind::Error:
        return QMessageBox::Critical;
    case MessageKind::Question:
        return QMessageBox::Question;
    }
    return QMessageBox::NoIcon;
}

} // namespace

QString displayed(const QString& text) {
    QString shown = text;
    shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    return shown;
}

QString displayed(const char* text) {
    return displayed(translated(text));
}

void MessageBoxes::show(const QString& text, MessageKind kind) const {
    if (responder_) {
        responder_(text, kind, false);
        return;
    }
    QMessageBox box(icon_of(kind), kProductTitle, displayed(text), QMessageBox::Ok, parent_);
    box.exec();
}

bool MessageBoxes::ask(const QString& text) const {
    if (responder_)
        return responder_(text, MessageKind::Question, true);
    QMessageBox box(QMessageBox::Question, kProductTitle, displayed(text),
                    QMessageBox::Yes | QMessageBox::No, parent_);
    return box.exec() == QMessageBox::Yes;
}

} // namespace salvex::app
