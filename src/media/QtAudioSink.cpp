#include "media/QtAudioSink.h"

#include <QAudioDevice>
#include <QAudioFormat>
#include <QAudioSink>
#include <QIODevice>
#include <QMediaDevices>
#include <QObject>
#include <QThread>

#include <algorithm>

namespace zarvex::media {

struct TQtAudioSink::TImpl {
    QThread Thread;
    std::unique_ptr<QObject> Context; // lives on Thread; calls run there
    std::unique_ptr<QAudioSink> Sink;
    QIODevice* Device = nullptr;
    int FrameBytes = 4;

    // Runs f on the device's thread and waits for it.
    template <class F> void Call(F f) {
        QMetaObject::invokeMethod(Context.get(), f, Qt::BlockingQueuedConnection);
    }
};

TQtAudioSink::TQtAudioSink() : Impl(std::make_unique<TImpl>()) {
    Impl->Context = std::make_unique<QObject>();
    Impl->Context->moveToThread(&Impl->Thread);
    Impl->Thread.start();
}

TQtAudioSink::~TQtAudioSink() {
    Stop(); // the device is freed on its own thread
    Impl->Thread.quit();
    Impl->Thread.wait();
    Impl->Context.reset(); // its thread has ended, so nothing else touches it
}

bool TQtAudioSink::Start(int sampleRate, int channels) {
    bool ok = false;
    Impl->Call([&] {
        const QAudioDevice device = QMediaDevices::defaultAudioOutput();
        if (device.isNull())
            return;
        QAudioFormat format;
        format.setSampleRate(sampleRate);
        format.setChannelCount(channels);
        format.setSampleFormat(QAudioFormat::Int16);
        if (!device.isFormatSupported(format))
            return;
        Impl->Sink = std::make_unique<QAudioSink>(device, format);
        Impl->Sink->setBufferSize(format.bytesForDuration(200000));
        Impl->Device = Impl->Sink->start();
        Impl->FrameBytes = format.bytesPerFrame();
        ok = Impl->Device != nullptr && Impl->Sink->error() == QAudio::NoError;
    });
    return ok;
}

size_t TQtAudioSink::Write(const int16_t* samples, size_t frames) {
    qint64 written = 0;
    Impl->Call([&] {
        if (!Impl->Device)
            return;
        const qint64 room = Impl->Sink->bytesFree() / Impl->FrameBytes * Impl->FrameBytes;
        const qint64 bytes = std::min<qint64>(room, qint64(frames) * Impl->FrameBytes);
        written =
            std::max<qint64>(0, Impl->Device->write(reinterpret_cast<const char*>(samples), bytes));
    });
    return size_t(written / Impl->FrameBytes);
}

size_t TQtAudioSink::FramesHeld() {
    qint64 held = 0;
    Impl->Call([&] {
        if (Impl->Sink)
            held = Impl->Sink->bufferSize() - Impl->Sink->bytesFree();
    });
    return size_t(std::max<qint64>(0, held) / Impl->FrameBytes);
}

size_t TQtAudioSink::Capacity() {
    qint64 size = 0;
    Impl->Call([&] {
        if (Impl->Sink)
            size = Impl->Sink->bufferSize();
    });
    return size_t(size / Impl->FrameBytes);
}

void TQtAudioSink::Pause() {
    Impl->Call([&] {
        if (Impl->Sink)
            Impl->Sink->suspend();
    });
}

void TQtAudioSink::Resume() {
    Impl->Call([&] {
        if (Impl->Sink)
            Impl->Sink->resume();
    });
}

void TQtAudioSink::Reset() {
    Impl->Call([&] {
        if (!Impl->Sink)
            return;
        // Dropping what the device holds means starting it afresh.
        const QAudio::State state = Impl->Sink->state();
        Impl->Sink->reset();
        Impl->Device = Impl->Sink->start();
        if (state == QAudio::SuspendedState)
            Impl->Sink->suspend();
    });
}

void TQtAudioSink::Stop() {
    Impl->Call([&] {
        if (Impl->Sink)
            Impl->Sink->stop();
        Impl->Sink.reset();
        Impl->Device = nullptr;
    });
}

bool TQtAudioSink::HaveDevice() {
    return !QMediaDevices::audioOutputs().isEmpty();
}

TAudioSinkFactory TQtAudioSink::Factory() {
    return []() -> std::unique_ptr<TAudioSink> {
        if (!HaveDevice())
            return nullptr;
        return std::make_unique<TQtAudioSink>();
    };
}

} // namespace zarvex::media
