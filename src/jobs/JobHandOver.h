// Where the job queue is kept between starts, and how the split window, in a process of its
// own, hands a job to the main window's queue: through a local socket whose name belongs to
// the user and the settings folder, or into the kept queue when no main window runs.
#pragma once

#include "jobs/JobOrder.h"

#include <QObject>

#include <functional>
#include <string>

class QLocalServer;

namespace zarvex {

std::string QueueFileName();
// The kept queue's text, empty when there is none.
std::string ReadQueueFile();
// Written through a new file and a rename; raises EOSError.
void WriteQueueFile(const std::string& text);

// The main window's end. Only one main window listens; only that one keeps the queue file.
class TJobHandOverServer : public QObject {
    Q_OBJECT
public:
    explicit TJobHandOverServer(QObject* parent = nullptr);
    bool Listening() const;
    // Adds a handed job; returns why it was not added, empty when it was.
    std::function<std::string(const TJobOrder&)> OnJob;

private:
    void Accept();
    QLocalServer* FServer;
};

enum class THandOver { Queued, Kept };

// Queued: a main window took the job. Kept: none runs, and the job was added to the kept
// queue for its next start. Raises EZarvexError with the reason when either refuses it.
THandOver HandJobOver(const TJobOrder& order);

} // namespace zarvex
