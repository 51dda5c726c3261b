#include "support/JobThread.h"

namespace zarvex {

void TJobControl::SetText(const std::string& text) {
    const std::lock_guard<std::mutex> hold(Lock);
    FText = text;
}

std::string TJobControl::Text() const {
    const std::lock_guard<std::mutex> hold(Lock);
    return FText;
}

TJobControl::TAnswer TJobControl::Choose(const std::string& question, int buttons) {
    std::unique_lock<std::mutex> hold(Lock);
    if (!Answers)
        return NoAnswer;
    Question = question;
    Buttons = buttons;
    Answer.reset();
    // Cancel does not take the lock, so the wait wakes now and then to look at the flag.
    while (!Answer && Answers && !Cancelled())
        Answered.wait_for(hold, std::chrono::milliseconds(50));
    Question.reset();
    const TAnswer answer = Cancelled() ? NoAnswer : Answer.value_or(NoAnswer);
    Answer.reset();
    return answer;
}

TJobThread::TJobThread(TJob job, bool cancelled) {
    if (cancelled)
        FControl.Cancel();
    Worker = std::thread([this, job = std::move(job)] {
        try {
            job(FControl);
        } catch (...) {
            FError = std::current_exception();
        }
        Done.store(true, std::memory_order_release);
    });
}

TJobThread::~TJobThread() {
    FControl.Cancel();
    {
        const std::lock_guard<std::mutex> hold(FControl.Lock);
        FControl.Answers = false;
    }
    FControl.Answered.notify_all();
    Wait();
}

void TJobThread::Wait() {
    if (Worker.joinable())
        Worker.join();
}

std::exception_ptr TJobThread::Error() const {
    return Finished() ? FError : nullptr;
}

void TJobThread::Rethrow() {
    Wait();
    if (FError)
        std::rethrow_exception(FError);
}

std::optional<std::string> TJobThread::PendingQuestion(int* buttons) const {
    const std::lock_guard<std::mutex> hold(FControl.Lock);
    if (buttons)
        *buttons = FControl.Buttons;
    return FControl.Answer ? std::nullopt : FControl.Question;
}

void TJobThread::Reply(TJobControl::TAnswer answer) {
    {
        const std::lock_guard<std::mutex> hold(FControl.Lock);
        if (!FControl.Question)
            return;
        FControl.Answer = answer;
    }
    FControl.Answered.notify_all();
}

} // namespace zarvex
