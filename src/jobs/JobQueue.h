// The job queue: jobs the user added run one after another in the background while the window
// goes on. The window's thread owns the queue and calls Poll on a timer; each job runs on a
// TJobThread of its own. The queue knows how to run a job only through the function it is
// given, so that it stays free of the engines and of windows.
#pragma once

#include "jobs/JobOrder.h"
#include "support/JobThread.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace zarvex {

enum class TJobState { Waiting, Running, Finished, Failed, Cancelled };

struct TQueueEntry {
    int64_t Id = 0; // unique within the queue's life
    TJobOrder Order;
    TJobReaders Readers; // held until the job has run; not kept across a restart
    TJobState State = TJobState::Waiting;
    double Progress = 0; // percent, while running
    std::string Message; // a failure's message, or the job's warnings
    std::string Outcome; // once finished: where the output went
};

class TJobQueue {
public:
    // What running a job yields: its warnings (an empty list when none).
    using TRunner =
        std::function<std::vector<std::string>(const TJobOrder&, const TJobReaders&, TJobControl&)>;
    // Called on the owner's thread from Poll when a job has ended.
    using TEndedEvent = std::function<void(const TQueueEntry&)>;

    explicit TJobQueue(TRunner runner);
    // Cancels the running job and waits for it; its output is completed.
    ~TJobQueue();

    // The reason why order cannot be added (it writes a file that a waiting or running job
    // writes or reads, or reads a file that one writes); empty when it can.
    std::string Refusal(const TJobOrder& order) const;
    // Adds a job after the others; raises EZarvexError with Refusal's reason.
    int64_t Add(const TJobOrder& order, TJobReaders readers = {});
    // Remove drops a job that is not running; Cancel stops a running one or drops a waiting
    // one. MoveUp and MoveDown swap a waiting job with its neighbour.
    void Remove(int64_t id);
    void Cancel(int64_t id);
    void MoveUp(int64_t id);
    void MoveDown(int64_t id);
    // Cancels the running job and waits for it to end.
    void CancelRunning();

    // Takes the running job's progress, ends it when it has finished, starts the next one.
    void Poll();

    const std::vector<TQueueEntry>& Entries() const { return FEntries; }
    int Waiting() const;
    bool Running() const;

    // The waiting and running jobs, one block each, for the file that keeps them; and the
    // jobs of such a text as waiting ones. LoadText returns how many blocks it left out: not
    // a job, or refused beside the jobs already there.
    std::string SaveText() const;
    int LoadText(const std::string& text);

    TEndedEvent OnEnded;
    // Called on the owner's thread whenever the list or a job's state changed.
    std::function<void()> OnChanged;

private:
    TQueueEntry* Find(int64_t id);
    void Move(int64_t id, int step);
    void Start();
    // Ends the job whose thread has finished.
    void Finish();
    void Changed();

    TRunner FRunner;
    std::vector<TQueueEntry> FEntries;
    std::unique_ptr<TJobThread> FThread;
    int64_t FRunningId = 0;
    int64_t FNextId = 1;
    std::vector<std::string> FWarnings; // the running job's, read once it has ended
};

} // namespace zarvex
