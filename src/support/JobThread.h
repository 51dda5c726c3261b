// A long job on a thread of its own. The job reports its progress and reads a stop flag through
// its control; the thread that started it polls both (a window on a timer, never blocking), and
// answers the questions the job puts to it. Nothing here knows of windows.
#pragma once

#include <atomic>
#include <condition_variable>
#include <exception>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

namespace zarvex {

class TJobControl {
public:
    // Percent, 0 to 100.
    void SetProgress(double percent) { Percent.store(percent, std::memory_order_relaxed); }
    double Progress() const { return Percent.load(std::memory_order_relaxed); }
    void SetText(const std::string& text);
    std::string Text() const;
    bool Cancelled() const { return Stop.load(std::memory_order_relaxed); }
    void Cancel() { Stop.store(true, std::memory_order_relaxed); }

    // The buttons of a question, and its answer.
    enum TAnswer : int { NoAnswer = 0, AnswerYes = 1, AnswerNo = 2, AnswerCancel = 4 };

    // Puts a question to the starting thread and waits for the answer, one of buttons; NoAnswer
    // when the job is cancelled meanwhile or nobody answers (see TJobThread::PendingQuestion).
    TAnswer Choose(const std::string& question, int buttons);
    // A yes-or-no question: false unless the answer is Yes.
    bool Ask(const std::string& question) {
        return Choose(question, AnswerYes | AnswerNo) == AnswerYes;
    }

    // An engine callback of the usual shape, for jobs to hand on: it stores the percent and
    // sets cancel from the stop flag.
    template <typename... TIgnored> auto ProgressHandler() {
        return [this](TIgnored&..., bool& cancel, double percent) {
            SetProgress(percent);
            cancel = Cancelled();
        };
    }

private:
    friend class TJobThread;

    std::atomic<double> Percent{0.0};
    std::atomic<bool> Stop{false};
    mutable std::mutex Lock;
    std::condition_variable Answered;
    std::string FText;
    std::optional<std::string> Question;
    int Buttons = 0;
    std::optional<TAnswer> Answer;
    bool Answers = true; // false once the starting thread no longer answers
};

class TJobThread {
public:
    using TJob = std::function<void(TJobControl&)>;

    // Starts the job at once; cancelled, it starts with its stop flag set.
    explicit TJobThread(TJob job, bool cancelled = false);
    // Cancels a job still running and waits for it.
    ~TJobThread();
    TJobThread(const TJobThread&) = delete;
    TJobThread& operator=(const TJobThread&) = delete;

    TJobControl& Control() { return FControl; }
    bool Finished() const { return Done.load(std::memory_order_acquire); }
    // Waits for the job to end.
    void Wait();
    // What the job threw, once finished; null when it ended normally.
    std::exception_ptr Error() const;
    // Waits for the job and throws what it threw.
    void Rethrow();

    // A question the job waits on, for the starting thread to answer through Reply; buttons,
    // when given, gets the answers it offers.
    std::optional<std::string> PendingQuestion(int* buttons = nullptr) const;
    void Reply(TJobControl::TAnswer answer);

private:
    TJobControl FControl;
    std::atomic<bool> Done{false};
    std::exception_ptr FError;
    std::thread Worker;
};

} // namespace zarvex
