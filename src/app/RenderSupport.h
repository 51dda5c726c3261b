// What the offscreen window renderer's pieces share: where pictures go and how windows are
// grabbed.
#pragma once

#include <QImage>
#include <QString>
#include <QWidget>

#include <functional>

namespace zarvex::render {

// Writes image into the output folder under name, counting a failure.
void Save(const QImage& image, const QString& name);

// Shows a top-level widget long enough to be laid out and painted, then grabs it.
QImage GrabShown(QWidget& w);

// Runs a modal dialog and grabs it once it has had time to settle, then cancels it.
QImage GrabModal(const std::function<void()>& run);

// Lets queued work (a player's picture, a folder listing) reach the screen.
void Settle(int milliseconds);

// The manual's diagram of a key-frame cut and an exact cut.
void RenderCutDiagram();

// The dialogs of saving, splitting and information, on the sample clip.
void RenderToolDialogs(const QString& clip);
// The Jobs window with a queue of sample jobs.
void RenderJobsWindow();
// The main window zoomed in, with its timeline's pictures and sound, light and dark; the
// recording is made in Folder.
void RenderTimelines(const QString& folder);
// Find Ad Breaks: its dialog, and the main window with the programme in the segment list.
void RenderAdBreaks(const QString& folder);

} // namespace zarvex::render
