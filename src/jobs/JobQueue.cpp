#include "jobs/JobQueue.h"

#include "support/Errors.h"

#include <algorithm>
#include <filesystem>
#include <sstream>
#include <utility>

namespace zarvex {

namespace {

const char* const BlockStart = "[job]";

// One spelling per file: links, "..", and a relative path against the current folder.
std::string FileKey(const std::string& path) {
    std::error_code ec;
    std::filesystem::path canonical = std::filesystem::weakly_canonical(path, ec);
    if (ec)
        canonical = std::filesystem::absolute(path, ec).lexically_normal();
    return canonical.string();
}

std::vector<std::string> FileKeys(const std::vector<std::string>& paths) {
    std::vector<std::string> keys;
    for (const std::string& p : paths)
        keys.push_back(FileKey(p));
    return keys;
}

// The first path of a that b has too, empty when none.
std::string Shared(const std::vector<std::string>& aPaths, const std::vector<std::string>& aKeys,
                   const std::vector<std::string>& bKeys) {
    for (size_t i = 0; i < aKeys.size(); ++i)
        if (std::find(bKeys.begin(), bKeys.end(), aKeys[i]) != bKeys.end())
            return aPaths[i];
    return {};
}

// A file, or the folder the files went into.
std::string OutcomeOf(const TJobOrder& order) {
    if (order.Kind == TJobKind::Pieces && order.Separate)
        return std::filesystem::path(order.Output).parent_path().string();
    return order.Output;
}

bool Pending(TJobState state) {
    return state == TJobState::Waiting || state == TJobState::Running;
}

std::string Joined(const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& line : lines)
        text += (text.empty() ? "" : "\n") + line;
    return text;
}

} // namespace

TJobQueue::TJobQueue(TRunner runner) : FRunner(std::move(runner)) {}

TJobQueue::~TJobQueue() {
    OnEnded = nullptr;
    OnChanged = nullptr;
    FThread.reset(); // cancels and waits
}

std::string TJobQueue::Refusal(const TJobOrder& order) const {
    const std::vector<std::string> outputs = JobOutputs(order), inputs = JobInputs(order);
    const std::vector<std::string> outKeys = FileKeys(outputs), inKeys = FileKeys(inputs);
    for (const TQueueEntry& e : FEntries) {
        if (!Pending(e.State))
            continue;
        const std::vector<std::string> theirOut = FileKeys(JobOutputs(e.Order));
        const std::vector<std::string> theirIn = FileKeys(JobInputs(e.Order));
        if (const std::string f = Shared(outputs, outKeys, theirOut); !f.empty())
            return "The job would write \"" + f + "\", which a job in the queue writes.";
        if (const std::string f = Shared(outputs, outKeys, theirIn); !f.empty())
            return "The job would write \"" + f + "\", which a job in the queue reads.";
        if (const std::string f = Shared(inputs, inKeys, theirOut); !f.empty())
            return "The job would read \"" + f + "\", which a job in the queue writes.";
    }
    return {};
}

int64_t TJobQueue::Add(const TJobOrder& order, TJobReaders readers) {
    if (const std::string reason = Refusal(order); !reason.empty())
        throw EZarvexError(reason);
    TQueueEntry entry;
    entry.Id = FNextId++;
    entry.Order = order;
    entry.Readers = std::move(readers);
    FEntries.push_back(std::move(entry));
    Changed();
    return FEntries.back().Id;
}

TQueueEntry* TJobQueue::Find(int64_t id) {
    const auto it = std::find_if(FEntries.begin(), FEntries.end(),
                                 [id](const TQueueEntry& e) { return e.Id == id; });
    return it == FEntries.end() ? nullptr : &*it;
}

void TJobQueue::Remove(int64_t id) {
    const TQueueEntry* entry = Find(id);
    if (!entry || entry->State == TJobState::Running)
        return;
    FEntries.erase(FEntries.begin() + (entry - FEntries.data()));
    Changed();
}

void TJobQueue::Cancel(int64_t id) {
    const TQueueEntry* entry = Find(id);
    if (!entry)
        return;
    if (entry->State == TJobState::Running)
        FThread->Control().Cancel(); // Poll sees it end
    else if (entry->State == TJobState::Waiting)
        Remove(id);
}

// Waiting jobs change places with the waiting job before or after them; the others keep theirs.
void TJobQueue::Move(int64_t id, int step) {
    const TQueueEntry* entry = Find(id);
    if (!entry || entry->State != TJobState::Waiting)
        return;
    const auto at = entry - FEntries.data();
    for (auto other = at + step; other >= 0 && other < std::ssize(FEntries); other += step)
        if (FEntries[size_t(other)].State == TJobState::Waiting) {
            std::swap(FEntries[size_t(at)], FEntries[size_t(other)]);
            Changed();
            return;
        }
}

void TJobQueue::MoveUp(int64_t id) {
    Move(id, -1);
}

void TJobQueue::MoveDown(int64_t id) {
    Move(id, +1);
}

void TJobQueue::CancelRunning() {
    if (!FThread)
        return;
    FThread->Control().Cancel();
    FThread->Wait();
    Finish();
}

void TJobQueue::Poll() {
    if (FThread) {
        if (TQueueEntry* running = Find(FRunningId))
            running->Progress = FThread->Control().Progress();
        if (!FThread->Finished())
            return;
        Finish();
    }
    Start();
}

void TJobQueue::Start() {
    const auto next = std::find_if(FEntries.begin(), FEntries.end(), [](const TQueueEntry& e) {
        return e.State == TJobState::Waiting;
    });
    if (next == FEntries.end())
        return;
    next->State = TJobState::Running;
    next->Progress = 0;
    FRunningId = next->Id;
    FWarnings.clear();
    // The thread has its own copies; the entry may move in the list meanwhile.
    FThread = std::make_unique<TJobThread>(
        [this, runner = FRunner, order = next->Order, readers = next->Readers](TJobControl& c) {
            FWarnings = runner(order, readers, c);
        });
    Changed();
}

void TJobQueue::Finish() {
    const bool cancelled = FThread->Control().Cancelled();
    const std::exception_ptr error = FThread->Error();
    FThread.reset();
    TQueueEntry* entry = Find(FRunningId);
    FRunningId = 0;
    if (!entry)
        return;
    entry->Readers.clear(); // closes the job's files
    entry->Outcome = OutcomeOf(entry->Order);
    if (error) {
        entry->State = TJobState::Failed;
        try {
            std::rethrow_exception(error);
        } catch (const std::exception& e) {
            entry->Message = e.what();
        } catch (...) {
            entry->Message = "The job failed.";
        }
    } else {
        entry->State = cancelled ? TJobState::Cancelled : TJobState::Finished;
        entry->Progress = cancelled ? entry->Progress : 100;
        entry->Message = Joined(FWarnings);
    }
    const TQueueEntry ended = *entry;
    if (OnEnded)
        OnEnded(ended);
    Changed();
}

void TJobQueue::Changed() {
    if (OnChanged)
        OnChanged();
}

int TJobQueue::Waiting() const {
    return int(std::count_if(FEntries.begin(), FEntries.end(),
                             [](const TQueueEntry& e) { return e.State == TJobState::Waiting; }));
}

bool TJobQueue::Running() const {
    return FThread != nullptr;
}

std::string TJobQueue::SaveText() const {
    std::string text;
    for (const TQueueEntry& e : FEntries)
        if (Pending(e.State))
            text += std::string(BlockStart) + "\n" + JobToText(e.Order);
    return text;
}

int TJobQueue::LoadText(const std::string& text) {
    std::vector<std::string> blocks;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        if (line == BlockStart)
            blocks.emplace_back();
        else if (!blocks.empty())
            blocks.back() += line + "\n";
    }
    int skipped = 0;
    for (const std::string& block : blocks) {
        const std::optional<TJobOrder> order = JobFromText(block);
        if (!order || !Refusal(*order).empty()) {
            ++skipped;
            continue;
        }
        Add(*order);
    }
    return skipped;
}

} // namespace zarvex
