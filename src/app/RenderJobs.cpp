// The Jobs window with a queue as a user would have it in the evening: one job done, one
// failed, one running and two waiting.
#include "app/RenderSupport.h"

#include "jobs/JobQueue.h"
#include "jobs/JobsForm.h"
#include "support/Errors.h"

#include <QTreeWidget>

#include <chrono>
#include <thread>

namespace zarvex::render {

namespace {

TJobOrder Job(const std::string& source, int32_t first, int32_t last, TJobMethod method,
              const std::string& output) {
    TJobOrder order;
    order.Method = method;
    TCutListEntry piece;
    piece.Source = "/home/anna/Videos/" + source;
    piece.Frames = {first, last};
    order.Pieces.push_back(piece);
    order.Output = "/home/anna/Videos/" + output;
    return order;
}

} // namespace

void RenderJobsWindow() {
    // Stand-ins for the engines: the picture is of the window, not of the work.
    TJobQueue queue([](const TJobOrder& order, const TJobReaders&, TJobControl& control) {
        if (order.Output.find("broken") != std::string::npos)
            throw EZarvexError("The disk is full. broken-tape.avi was completed with 812 of "
                               "4410 frames.");
        if (order.Output.find("evening") == std::string::npos)
            return std::vector<std::string>{};
        control.SetProgress(42);
        while (!control.Cancelled())
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        return std::vector<std::string>{};
    });
    queue.Add(Job("news.avi", 1250, 22840, TJobMethod::Exact, "news-cut.avi"));
    queue.Add(Job("tape.avi", 0, 4409, TJobMethod::Copy, "broken-tape.avi"));
    queue.Add(Job("film.avi", 4520, 161300, TJobMethod::Exact, "film-evening.avi"));
    TJobOrder parts;
    parts.Kind = TJobKind::Split;
    parts.Pieces.push_back({"/home/anna/Videos/holiday.avi", {0, 90000}, 0, 3600});
    parts.Parts = 4;
    parts.Output = "/home/anna/Videos/parts";
    parts.Prefix = "holiday";
    queue.Add(parts);
    queue.Add(Job("concert.avi", 300, 9000, TJobMethod::Recompress, "concert-small.avi"));
    TfrmJobs window(queue);
    window.resize(980, 240);
    for (int i = 0; i < 200 && !(queue.Running() && queue.Waiting() == 2); ++i) {
        queue.Poll();
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    queue.Poll();
    window.Refresh();
    window.lvJobs->setCurrentItem(window.lvJobs->topLevelItem(3));
    Save(GrabShown(window), "jobs-window.png");
    queue.CancelRunning();
}

} // namespace zarvex::render
