// The program's application object. Every event the loop delivers (clicks,
// timers, queued calls) passes through notify, which is the one place where
// an exception that a handler let through is caught and shown, so that no
// exception leaves a slot and the program goes on.
#pragma once

#include <QApplication>

#include <exception>

class TApplication : public QApplication {
    Q_OBJECT
public:
    TApplication(int& argc, char** argv);
    bool notify(QObject* receiver, QEvent* event) override;
};

// The standard exception box: the exception's text (empty for a thrown
// object that is not a std::exception), caption "Error". Logged as well.
void ShowException(const std::exception* e);

// Ends the event loop: the program then tears down and exits with code.
// The only way the program quits (the last window closing does not).
void TerminateApplication(int code = 0);
