// The two message boxes of the wizard, both titled with the product's name: an OK box with an
// information, error or question icon, and a Yes/No box.
//
// A responder can take the boxes' place (the GUI tests answer through it instead of clicking a
// modal box); without one the boxes are shown modally.
#pragma once

#include "disk/progress.h"

#include <QString>
#include <functional>

class QWidget;

namespace salvex::app {

class MessageBoxes {
public:
    // Receives each message: its text, its kind and whether it is a Yes/No question; returns the
    // answer to a question (ignored for a message).
    using Responder = std::function<bool(const QString& text, MessageKind kind, bool question)>;

    explicit MessageBoxes(QWidget* parent) : parent_(parent) {}

    void show(const QString& text, MessageKind kind) const;
    bool ask(const QString& text) const;
    void set_responder(Responder responder) { responder_ = std::move(responder); }

private:
    QWidget* parent_;
    Responder responder_;
};

// The product's texts write line breaks as "\r\n"; a label shows "\n". A text given as a
// `const char*` (one of texts.h) is shown translated; one without a translation, such as a
// sentence of the core, and a QString are shown as they are.
QString displayed(const char* text);
QString displayed(const QString& text);

} // namespace salvex::app
